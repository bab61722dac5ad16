#include "line_event_codes.h"

#include <algorithm>

#include "serial_events.h"

namespace quillon {

namespace {

// How many codes a counter's rise stands for, at most kMaxCodesPerKind.
int Steps(std::uint32_t before, std::uint32_t after)
{
    if (after <= before)
        return 0;
    return int(std::min<std::uint32_t>(after - before, kMaxCodesPerKind));
}

void Repeat(std::vector<int>& codes, int code, int times) { codes.insert(codes.end(), std::size_t(times), code); }

struct Line {
    int code;
    bool ModemLines::*state;
    std::uint32_t LineCounters::*count;
};

void ModemLineCodes(const LineSnapshot& a, const LineSnapshot& b, std::vector<int>& codes)
{
    static constexpr Line kToggles[] = {
        {line_event::CtsChange, &ModemLines::cts, &LineCounters::cts},
        {line_event::DsrChange, &ModemLines::dsr, &LineCounters::dsr},
        {line_event::CdChange, &ModemLines::cd, &LineCounters::cd},
    };
    const bool counted = a.counters && b.counters;
    const bool seen = a.lines && b.lines;
    for (const Line& l : kToggles) {
        const int steps = counted ? Steps((*a.counters).*l.count, (*b.counters).*l.count) : 0;
        const bool changed = seen && (*a.lines).*l.state != (*b.lines).*l.state;
        Repeat(codes, l.code, std::max(steps, changed ? 1 : 0));
    }
    // The counter counts a ring once, at its end; the line state would see
    // its start as well, so the two must not be added up.
    if (counted)
        Repeat(codes, line_event::Ring, Steps(a.counters->ring, b.counters->ring));
    else if (seen && !a.lines->ri && b.lines->ri)
        Repeat(codes, line_event::Ring, 1);
}

void ErrorCodes(const LineCounters& a, const LineCounters& b, std::vector<int>& codes)
{
    struct Counter {
        int code;
        std::uint32_t LineCounters::*count;
    };
    static constexpr Counter kErrors[] = {
        {line_event::Break, &LineCounters::brk},
        {line_event::FramingError, &LineCounters::frame},
        {line_event::Overrun, &LineCounters::overrun},
        {line_event::ReceiveBufferOverflow, &LineCounters::bufOverrun},
        {line_event::ParityError, &LineCounters::parity},
    };
    for (const Counter& c : kErrors)
        Repeat(codes, c.code, Steps(a.*c.count, b.*c.count));
}

}  // namespace

std::vector<int> LineEventCodes(const LineSnapshot& before, const LineSnapshot& after)
{
    std::vector<int> codes;
    ModemLineCodes(before, after, codes);
    if (before.counters && after.counters)
        ErrorCodes(*before.counters, *after.counters, codes);
    return codes;
}

}  // namespace quillon
