#include "cleanup.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <system_error>

namespace quillon {

void DeleteEmptyFiles(const std::vector<std::string>& logPaths)
{
    namespace fs = std::filesystem;
    for (const std::string& path : logPaths) {
        if (path.empty())
            continue;
        std::error_code error;
        // A symbolic link put where a log was is not followed.
        if (!fs::is_regular_file(fs::symlink_status(path, error)))
            continue;
        if (fs::file_size(path, error) == 0 && !error)
            fs::remove(path, error);
    }
}

namespace {

bool AllDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `rest` is what may follow a log's stem: an ending, then nothing,
// ".N" or ".N.gz".
bool IsLogEnding(std::string_view rest)
{
    static constexpr std::array<std::string_view, 4> kEndings = {".kss", ".dump", ".hex", ".jsonl"};
    for (std::string_view ending : kEndings) {
        if (!rest.starts_with(ending))
            continue;
        std::string_view rotated = rest.substr(ending.size());
        if (rotated.empty())
            return true;
        if (rotated.ends_with(".gz"))
            rotated.remove_suffix(3);
        return rotated.starts_with('.') && AllDigits(rotated.substr(1));
    }
    return false;
}

}  // namespace

std::vector<std::string> OldLogSetFiles(const std::vector<FolderEntry>& folder, DateTime now, int keepDays,
                                        std::string_view inUse)
{
    struct LogSetFiles {
        DateTime latest;
        std::vector<std::string> names;
    };
    std::map<std::string_view, LogSetFiles> sets;
    constexpr std::size_t kStemLength = 13;  // ddmmyyyy_hhmm
    for (const FolderEntry& entry : folder) {
        const std::string_view name = entry.name, stem = name.substr(0, kStemLength);
        const std::optional<DateTime> named = ParseLogStem(stem);
        if (!named || stem == inUse || !IsLogEnding(name.substr(stem.size())))
            continue;
        auto [set, added] = sets.try_emplace(stem, LogSetFiles{*named, {}});
        set->second.latest = std::max(set->second.latest, entry.modified);
        set->second.names.push_back(entry.name);
    }
    std::vector<std::string> old;
    if (keepDays < 1)
        return old;
    for (const auto& [stem, set] : sets)
        if (now - set.latest > std::chrono::days{keepDays})
            old.insert(old.end(), set.names.begin(), set.names.end());
    std::sort(old.begin(), old.end());
    return old;
}

}  // namespace quillon
