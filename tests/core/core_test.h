// What the core tests share: frames in the receive buffer and the console lines of a report.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "frames.h"
#include "ax25_encoder.h"
#include "decoder/frame_report.h"
#include "text/console.h"
#include "kiss/kiss.h"

namespace quillon::test {

using namespace std::chrono;
using namespace std::string_literals;

// The moment of the worked example: 2013-07-28 14:05:09.437 UTC.
inline const system_clock::time_point kExampleTime = At(14h + 5min + 9s + 437ms);

inline std::string Repeat(std::string_view s, std::size_t n) { std::string out; while (n-- > 0) out += s; return out; }

// The report of `frame` as received at `t`.
inline FrameReport Report(std::string_view frame, bool decode = true, ReportOptions options = {},
                          system_clock::time_point t = kExampleTime)
{ return ReportFrame(Received(frame), decode, options, FixedClock(t)); }

// One console line: its text without the CR, in the colour of its run.
struct Line { std::string text; std::uint32_t colour; bool operator==(const Line&) const = default; };
inline void PrintTo(const Line& line, std::ostream* os) { *os << '"' << line.text << "\" colour " << line.colour; }
inline std::vector<Line> Lines(const std::vector<ConsoleRun>& runs)
{
    std::vector<Line> lines;
    for (const ConsoleRun& run : runs) {
        EXPECT_TRUE(run.text.ends_with('\r') && run.text.find('\n') == std::string::npos) << run.text;
        for (std::size_t at = 0, end; (end = run.text.find('\r', at)) != std::string::npos; at = end + 1)
            lines.push_back({run.text.substr(at, end - at), run.colour});
    }
    return lines;
}

}  // namespace quillon::test
