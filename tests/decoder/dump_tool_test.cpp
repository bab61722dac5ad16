// What quillon-dump adds to the report: time frames of raw logs and console
// runs written for a terminal.
#include <gtest/gtest.h>

#include <ostream>

#include "decoder/decoder_fixtures.h"
#include "tools/terminal_text.h"
#include "tools/time_frame.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;

struct TimeFrameCase {
    const char* situation;
    ByteString frame;
    bool isTimeFrame;
};

void PrintTo(const TimeFrameCase& c, std::ostream* os) { *os << c.situation; }

class TimeFrames : public ::testing::TestWithParam<TimeFrameCase> {};

TEST_P(TimeFrames, RecognisedByTheirExactLayout)
{
    const TimeFrameCase& c = GetParam();
    const auto time = ReadTimeFrame(Received(c.frame));
    ASSERT_EQ(time.has_value(), c.isTimeFrame) << c.situation;
    if (c.isTimeFrame) {
        EXPECT_EQ(*time, ExampleTime()) << c.situation;
    }
}

ByteString WithCommand(ByteString frame, std::uint8_t command)
{
    frame[1] = command;
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, TimeFrames,
    ::testing::Values(
        TimeFrameCase{"as the program writes it", EncodeTimeFrame("2013-07-28 14:05:09.437"), true},
        TimeFrameCase{"another command byte", WithCommand(EncodeTimeFrame("2013-07-28 14:05:09.437"), 0x00), false},
        TimeFrameCase{"no such day", EncodeTimeFrame("2013-02-30 14:05:09.437"), false},
        TimeFrameCase{"hour 24", EncodeTimeFrame("2013-07-28 24:05:09.437"), false},
        TimeFrameCase{"a letter for a digit", EncodeTimeFrame("2013-07-28 14:O5:09.437"), false},
        TimeFrameCase{"no milliseconds", EncodeTimeFrame("2013-07-28 14:05:09"), false},
        TimeFrameCase{"a KISS frame of 30 bytes", EncodeKissFrame(0x09, ByteString(27, 0x41)), false}));

struct TerminalCase {
    const char* situation;
    ConsoleRun run;
    bool colour;
    const char* text;
};

void PrintTo(const TerminalCase& c, std::ostream* os) { *os << c.situation; }

class TerminalText : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalText, OneConsoleLinePerOutputLine)
{
    const TerminalCase& c = GetParam();
    std::string out;
    AppendTerminalText(out, c.run, c.colour);
    EXPECT_EQ(out, c.text) << c.situation;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, TerminalText,
    ::testing::Values(
        TerminalCase{"plain line", {"Hello.\r", colour::Green}, false, "Hello.\n"},
        TerminalCase{"coloured line, reset before the newline", {"Hello.\r", colour::Green}, true,
                     "\x1b[32mHello.\x1b[0m\n"},
        TerminalCase{"black is the terminal's own colour", {"from A to B: \r", colour::Black}, true, "from A to B: \n"},
        TerminalCase{"separator: empty line uncoloured, underscores dim", {"\r__\r", colour::DisabledText}, true,
                     "\n\x1b[2;37m__\x1b[0m\n"},
        TerminalCase{"8-bit characters as UTF-8", {"\x80\xC0\xFF\r", colour::Green}, false,
                     "\xE2\x82\xAC\xC3\x80\xC3\xBF\n"},
        TerminalCase{"no control characters reach the terminal: C1 codes and DEL as dots",
                     {"\x9D" "0;x\x07\x81\x7F\r", colour::Green}, false, ".0;x...\n"},
        TerminalCase{"control characters of a callsign as dots, LF as line end",
                     {"A\x1b" "B\x00" "C\nD\r"s, colour::Black}, false, "A.B.C\nD\n"}));

}  // namespace
}  // namespace quillon::test
