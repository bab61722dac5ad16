// What the kernel tells about a serial line, and the event codes that a
// change between two readings stands for.
//
// Two kinds of reading, either of which a driver may not offer:
//   lines     the present state of CTS, DSR, CD and RI (TIOCMGET)
//   counters  the driver's running counts of modem-line transitions and of
//             receive errors (TIOCGICOUNT); they catch a pulse that comes
//             and goes between two readings, which the line state cannot
//
// Codes per kind, in ascending order of code:
//   CTS 3, DSR 4, CD 5: one per transition the counter saw, and at least
//       one when the line state differs (a driver may count some lines and
//       not others)
//   RI 6: one per ring the counter saw (the kernel counts a ring at its
//       trailing edge); without counters, one when RI rises
//   break 1001, framing 1004, overrun 1006, buffer overflow 1008,
//   parity 1009: one per counted error
//
// Each error is a line of its own, as the user would read one line per
// event: two framing errors show as two lines. A line at the wrong baud rate
// throws hundreds of framing errors a second, so each kind gives at most
// kMaxCodesPerKind codes per pair of readings; three lines in a row already
// say "many", and the box stays readable.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quillon {

inline constexpr int kMaxCodesPerKind = 3;

struct ModemLines {
    bool cts = false;
    bool dsr = false;
    bool cd = false;
    bool ri = false;
};

// Running counts since the driver set the port up; they only grow.
struct LineCounters {
    std::uint32_t cts = 0;
    std::uint32_t dsr = 0;
    std::uint32_t cd = 0;
    std::uint32_t ring = 0;
    std::uint32_t brk = 0;
    std::uint32_t frame = 0;
    std::uint32_t overrun = 0;
    std::uint32_t bufOverrun = 0;
    std::uint32_t parity = 0;
};

// Empty for a kind the driver cannot tell.
struct LineSnapshot {
    std::optional<ModemLines> lines;
    std::optional<LineCounters> counters;
};

// The event codes between two readings of the same open port. A kind
// missing from either reading gives nothing; a counter that went back (the
// driver started counting afresh) gives nothing for that counter.
std::vector<int> LineEventCodes(const LineSnapshot& before, const LineSnapshot& after);

}  // namespace quillon
