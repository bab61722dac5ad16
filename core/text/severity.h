// How much a line of output matters: the syslog levels that the journal reads
// from a "<N>" in front of a line that a service writes to it.
//
//   <4>COM 1 lost: No such file or directory      (journalctl -p warning)
//   <6>COM 1 reopened
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

enum class Severity {
    Error = 3,    // the run cannot go on, or does not start
    Warning = 4,  // something the operator should look at: a lost link, a log that fails, silence
    Info = 6,     // everything else
};

// "<3>", "<4>", "<6>".
inline std::string_view JournalPrefix(Severity severity)
{
    switch (severity) {
    case Severity::Error: return "<3>";
    case Severity::Warning: return "<4>";
    case Severity::Info: break;
    }
    return "<6>";
}

// A file's device and inode number, as the journal names the stream it
// gives a service (JOURNAL_STREAM="DEVICE:INODE", both in decimal).
struct DeviceInode {
    std::uint64_t device = 0, inode = 0;
    bool operator==(const DeviceInode&) const = default;
};

// Nothing unless the text is exactly two decimal numbers with a ":" between.
inline std::optional<DeviceInode> ParseDeviceInode(std::string_view text)
{
    DeviceInode d;
    const char* end = text.data() + text.size();
    const auto first = std::from_chars(text.data(), end, d.device);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != ':')
        return std::nullopt;
    const auto second = std::from_chars(first.ptr + 1, end, d.inode);
    if (second.ec != std::errc() || second.ptr != end)
        return std::nullopt;
    return d;
}

}  // namespace quillon
