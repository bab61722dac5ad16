// The watch list: the stations the user wants to hear of. watch.txt in the
// program folder holds one callsign pattern a line (as the packet list's
// filter takes them: "*" any run of characters, "?" any one; "N0CALL" is
// N0CALL with SSID 0 alone), "#" starting a comment to the line's end; the
// reports of a station that matches are marked, and a station heard for the
// first time in a run, or again after more than half an hour of silence, is
// due a notice.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decoder/frame_report.h"
#include "packets/callsign_pattern.h"

namespace quillon {

inline constexpr const char* kWatchFileName = "watch.txt";

class WatchList {
public:
    WatchList() = default;
    // The text of a watch file.
    explicit WatchList(std::string_view text);

    bool Matches(std::string_view call) const;
    bool Empty() const { return patterns_.empty(); }
    // In capitals, in the order of the file.
    const std::vector<std::string>& Patterns() const { return patterns_; }

private:
    std::vector<std::string> patterns_;
};

// The source of a report that says who sent it (decoded, its header whole,
// its source a callsign), when the list watches it.
std::optional<std::string_view> WatchedSource(const WatchList& list, const FrameReport& report);

// The report's address line in the colour of a watched station.
void MarkWatched(FrameReport& report);

// A watched station heard, and how long it had been silent; no silence: not
// heard before in this run.
struct WatchNotice {
    std::string call;
    std::optional<std::chrono::seconds> silence;
};

// "watch: N0CALL-7 heard, first time this run", "watch: N0CALL-7 heard
// again after 1 h 05 min".
std::string WatchNoticeLine(const WatchNotice& notice);

// Who is due a notice: a watched station heard for the first time since the
// run began, or after more than kSilence without a frame from it. A clock set
// back gives a silence of less than nothing, and no notice.
class WatchNotices {
public:
    static constexpr std::chrono::minutes kSilence{30};

    std::optional<WatchNotice> Heard(std::string_view call, std::chrono::system_clock::time_point t);

private:
    // The last frame of each watched station heard. A station silent for
    // longer than kSilence is due a notice whether or not it is here, so
    // such entries are dropped once there are many (a pattern of "*"); its
    // notice then says first time.
    static constexpr std::size_t kPruneAt = 4096;
    std::unordered_map<std::string, std::chrono::system_clock::time_point> lastHeard_;
};

}  // namespace quillon
