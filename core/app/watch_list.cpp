#include "watch_list.h"

#include <algorithm>

#include "app/heard_list.h"
#include "text/lines.h"

namespace quillon {

WatchList::WatchList(std::string_view text)
{
    for (std::string_view line : SplitLines(text)) {
        line = line.substr(0, line.find('#'));
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            continue;
        line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
        patterns_.push_back(UpperCase(line));
    }
}

bool WatchList::Matches(std::string_view call) const
{
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [&](const std::string& pattern) { return MatchesCallsignPattern(pattern, call); });
}

std::optional<std::string_view> WatchedSource(const WatchList& list, const FrameReport& report)
{
    if (list.Empty() || JudgeHeard(report) != HeardVerdict::Counted)
        return std::nullopt;
    const std::string_view call = report.decoded->SourceCall;
    if (!list.Matches(call))
        return std::nullopt;
    return call;
}

void MarkWatched(FrameReport& report)
{
    if (report.decoded && report.console.size() > kAddressRun)
        report.console[kAddressRun].colour = colour::WatchedAddress;
}

std::string WatchNoticeLine(const WatchNotice& notice)
{
    std::string line = "watch: " + notice.call + " heard";
    if (!notice.silence)
        return line + ", first time this run";
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(*notice.silence).count();
    line += " again after ";
    if (minutes >= 60) {
        const auto rest = minutes % 60;
        line += std::to_string(minutes / 60) + " h " + (rest < 10 ? "0" : "") + std::to_string(rest);
    } else {
        line += std::to_string(minutes);
    }
    return line + " min";
}

std::optional<WatchNotice> WatchNotices::Heard(std::string_view call, std::chrono::system_clock::time_point t)
{
    if (lastHeard_.size() >= kPruneAt)
        std::erase_if(lastHeard_, [t](const auto& entry) { return t - entry.second > kSilence; });
    const auto [entry, first] = lastHeard_.try_emplace(std::string(call), t);
    if (first)
        return WatchNotice{std::string(call), std::nullopt};
    const auto silence = t - entry->second;
    entry->second = t;
    if (silence <= kSilence)
        return std::nullopt;
    return WatchNotice{std::string(call), std::chrono::duration_cast<std::chrono::seconds>(silence)};
}

}  // namespace quillon
