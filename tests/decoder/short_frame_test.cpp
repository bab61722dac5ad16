// Frames that end before their header does. Whatever the frame lacks reads as
// an empty field, never as bytes left in the buffer by an earlier frame:
// missing callsign characters are blanks, a missing SSID byte ends the address
// field (SSID 0, no H bit), a missing control or PID byte is 0.
#include <gtest/gtest.h>

#include <ostream>

#include "decoder/decoder_fixtures.h"
#include "decoder/frame_report.h"

namespace quillon::test {
namespace {

struct ShortCase {
    const char* situation;
    const char* frame;
    const char* controlLine;
    const char* addressLine;
};

void PrintTo(const ShortCase& c, std::ostream* os) { *os << c.situation; }

class ShortFrames : public ::testing::TestWithParam<ShortCase> {};

std::vector<ConsoleLine> Report(const ReceiveState& rx, DecoderState& dec)
{
    const FakeClock clock(ExampleTime());
    return ConsoleLines(ReportFrame(rx, dec, true, ConfigurationRecord{}, clock).console);
}

TEST_P(ShortFrames, ShowNothingOfTheLongFrameBefore)
{
    const ShortCase& c = GetParam();
    DecoderState dec;
    std::string longPayload(400, '#');
    const Ax25Frame longFrame{{"APRS", 1, true},
                              {"N0CALL", 9, false},
                              {{"RELAY", 1, true}, {"WIDE2", 2, false}, {"NODE", 3, false}},
                              0x03,
                              0xF0,
                              longPayload};
    Report(ReceivedAx25(longFrame), dec);

    const ReceiveState rx = Received(Hex(c.frame));
    const std::vector<ConsoleLine> lines = Report(rx, dec);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2].text, c.controlLine) << c.situation;
    EXPECT_EQ(lines[3].text, c.addressLine) << c.situation;

    DecoderState fresh;
    EXPECT_EQ(Report(rx, fresh), lines) << c.situation;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ShortFrames,
    ::testing::Values(
        ShortCase{"nothing between command byte and FEND", "C0 00 C0",
                  "ctrl: 0   PID: 0 {I00^}   -16 Payload Bytes", "from  to `: "},
        ShortCase{"destination only", "C0 00 84 8A 82 86 9E 9C 60 C0",
                  "ctrl: 0   PID: 0 {I00^}   -9 Payload Bytes", "from ` to BEACON: "},
        ShortCase{"source cut short", "C0 00 84 8A 82 86 9E 9C 60 9C 9E 86 C0",
                  "ctrl: 0   PID: 0 {I00^}   -6 Payload Bytes", "from NOC` to BEACON: "},
        ShortCase{"addresses without control byte", "C0 00 84 8A 82 86 9E 9C 60 9C 9E 86 82 98 98 67 C0",
                  "ctrl: 192   PID: 0 {I60^}   -2 Payload Bytes", "from NOCALL-3 to BEACON: "},
        ShortCase{"digipeater cut short", "C0 00 84 8A 82 86 9E 9C 60 9C 9E 86 82 98 98 66 A4 8A 98 C0",
                  "ctrl: 0   PID: 0 {I00^}   -6 Payload Bytes", "from NOCALL-3 to BEACON via REL`: "},
        ShortCase{"UI frame without PID byte", "C0 00 84 8A 82 86 9E 9C 60 9C 9E 86 82 98 98 67 03 C0",
                  "ctrl: 3   PID: C0 {UI}   -1 Payload Bytes", "from NOCALL-3 to BEACON: "}));

}  // namespace
}  // namespace quillon::test
