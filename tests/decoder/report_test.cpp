// The frame report: console lines with their colours, caption and log lines.
#include <gtest/gtest.h>

#include <ostream>

#include "decoder/decoder_fixtures.h"
#include "decoder/frame_report.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

const std::string kUnderscores(66, '_');

// The frame of the worked example: NOCALL-3 to BEACON through RELAY-1, which
// has repeated it; UI, PID F0, "Hello" and a CR.
const ByteString kExampleFrame = Hex(
    "C0 00 84 8A 82 86 9E 9C E0 9C 9E 86 82 98 98 66 A4 8A 98 82 B2 40 E3 03 F0 48 65 6C 6C 6F 0D C0");

ConfigurationRecord Config(const char* timeframes, const char* hexfile)
{
    ConfigurationRecord config;
    config.TIMEFRAMES = timeframes;
    config.HEXFILE = hexfile;
    return config;
}

Ax25Frame UiFrame(std::string info)
{
    return {{"BEACON", 0, false}, {"NOCALL", 3, false}, {}, 0x03, 0xF0, std::move(info)};
}

std::vector<std::string> HexDumpLines(const FrameReport& report)
{
    std::vector<std::string> lines;
    for (const ConsoleLine& line : ConsoleLines(report.console))
        if (line.colour == colour::Red || line.colour == colour::Blue)
            lines.push_back(line.text);
    return lines;
}

TEST(WorkedExample, DecodingMode)
{
    const SteppingClock clock(ExampleTime(), 3ms);
    DecoderState dec;
    const FrameReport report = ReportFrame(Received(kExampleFrame), dec, true, Config("YES", "YES"), clock);

    const std::vector<ConsoleLine> expected{
        {"", colour::Black},
        {"2013-07-28 14:05:09.437 UTC: [32 Bytes KISS Frame (without CRC)]", colour::Grey},
        {"ctrl: 3   PID: F0 {UI}   6 Payload Bytes", colour::Grey},
        {"from NOCALL-3 to BEACON via RELAY-1*: ", colour::Black},
        {"   1 > 48 65 6C 6C 6F 0D ", colour::Red},
        {"Hello.", colour::Green},
        {"", colour::DisabledText},
        {kUnderscores, colour::DisabledText},
    };
    EXPECT_EQ(ConsoleLines(report.console), expected);
    EXPECT_EQ(report.frameCaption, "Payload KISS Frame");
    EXPECT_EQ(report.dumpLogLine, "2013-07-28 14:05:09.440 UTC: Hello.\r\n");
    EXPECT_EQ(report.hexLogLine, "48 65 6C 6C 6F 0D\r\n");
}

TEST(WorkedExample, RawMode)
{
    const SteppingClock clock(ExampleTime(), 3ms);
    DecoderState dec;
    const FrameReport report = ReportFrame(Received(kExampleFrame), dec, false, Config("YES", "YES"), clock);

    std::string frameText(kExampleFrame.begin(), kExampleFrame.end());
    for (char& c : frameText)
        if (static_cast<std::uint8_t>(c) < 32)
            c = '.';
    const std::vector<ConsoleLine> expected{
        {"", colour::Black},
        {"2013-07-28 14:05:09.437 UTC: [32 Bytes KISS Frame (without CRC)]", colour::Grey},
        {"   1 > C0 00 84 8A 82 86 9E 9C E0 9C 9E 86 82 98 98 66 A4 8A 98 82 ", colour::Blue},
        {"  21 > B2 40 E3 03 F0 48 65 6C 6C 6F 0D C0 ", colour::Blue},
        {frameText, colour::Green},
        {"", colour::DisabledText},
        {kUnderscores, colour::DisabledText},
    };
    EXPECT_EQ(ConsoleLines(report.console), expected);
    EXPECT_EQ(frameText.front(), '\xC0');  // the FENDs show as the character 192
    EXPECT_EQ(report.frameCaption, "RAW KISS Frame");
    EXPECT_EQ(report.dumpLogLine, std::nullopt);
    EXPECT_EQ(report.hexLogLine, std::nullopt);
}

TEST(WorkedExample, EachConsoleCallEndsItsLinesWithALoneCr)
{
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const FrameReport report = ReportFrame(Received(kExampleFrame), dec, true, Config("NO", "NO"), clock);
    ASSERT_EQ(report.console.size(), 7u);  // the separator is one call of two lines
    EXPECT_EQ(report.console.front(), (ConsoleRun{"\r", colour::Black}));
    EXPECT_EQ(report.console.back(), (ConsoleRun{"\r" + kUnderscores + "\r", colour::DisabledText}));
    for (const ConsoleRun& run : report.console)
        EXPECT_EQ(run.text.find('\n'), std::string::npos);
}

struct DumpCase {
    const char* situation;
    std::size_t payloadBytes;
    std::vector<std::string> labels;
};

void PrintTo(const DumpCase& c, std::ostream* os) { *os << c.situation; }

class HexDumpLayout : public ::testing::TestWithParam<DumpCase> {};

TEST_P(HexDumpLayout, TwentyBytesPerLine)
{
    const DumpCase& c = GetParam();
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const FrameReport report =
        ReportFrame(ReceivedAx25(UiFrame(std::string(c.payloadBytes, 'A'))), dec, true, Config("NO", "NO"), clock);
    const std::vector<std::string> lines = HexDumpLines(report);
    ASSERT_EQ(lines.size(), c.labels.size()) << c.situation;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(0, c.labels[i].size()), c.labels[i]) << c.situation;
        const std::size_t bytes = std::min<std::size_t>(20, c.payloadBytes - 20 * i);
        EXPECT_EQ(lines[i].size(), c.labels[i].size() + 3 * bytes) << c.situation;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, HexDumpLayout,
    ::testing::Values(DumpCase{"no payload", 0, {}}, DumpCase{"one byte", 1, {"   1 > "}},
                      DumpCase{"exactly twenty bytes", 20, {"   1 > "}},
                      DumpCase{"twenty-one bytes", 21, {"   1 > ", "  21 > "}},
                      DumpCase{"a hundred and one bytes", 101, {"   1 > ", "  21 > ", "  41 > ", "  61 > ", "  81 > ", " 101 > "}}));

TEST(HexDump, RawFrameOf1024BytesEndsWithLine1021)
{
    ByteString frame(1024, 0x41);
    frame.front() = frame.back() = 0xC0;
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const std::vector<std::string> lines =
        HexDumpLines(ReportFrame(Received(frame), dec, false, Config("NO", "NO"), clock));
    ASSERT_EQ(lines.size(), 52u);
    std::string fullLine = " 981 > ";
    for (int i = 0; i < 20; ++i)
        fullLine += "41 ";
    EXPECT_EQ(lines[49], fullLine);
    EXPECT_EQ(lines[50].substr(0, 8), " 1001 > ");
    EXPECT_EQ(lines[51], " 1021 > 41 41 41 C0 ");
}

struct LogCase {
    const char* situation;
    bool decode;
    const char* timeframes;
    const char* hexfile;
    std::optional<std::string> dumpLine;
    std::optional<std::string> hexLine;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.situation; }

class LogLines : public ::testing::TestWithParam<LogCase> {};

TEST_P(LogLines, WrittenOnlyWhenConfigured)
{
    const LogCase& c = GetParam();
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const FrameReport report =
        ReportFrame(ReceivedAx25(UiFrame("Hi\x01")), dec, c.decode, Config(c.timeframes, c.hexfile), clock);
    EXPECT_EQ(report.dumpLogLine, c.dumpLine) << c.situation;
    EXPECT_EQ(report.hexLogLine, c.hexLine) << c.situation;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LogLines,
    ::testing::Values(
        LogCase{"both on", true, "YES", "YES", "2013-07-28 14:05:09.437 UTC: Hi.\r\n", "48 69 01\r\n"},
        LogCase{"time frames only", true, "YES", "NO", "2013-07-28 14:05:09.437 UTC: Hi.\r\n", std::nullopt},
        LogCase{"hex file only", true, "NO", "YES", "Hi.\r\n", "48 69 01\r\n"},
        LogCase{"both off", true, "", "", "Hi.\r\n", std::nullopt},
        LogCase{"a switch is on only when exactly YES", true, "Y", "TRUE", "Hi.\r\n", std::nullopt},
        LogCase{"raw mode writes no log line", false, "YES", "YES", std::nullopt, std::nullopt}));

TEST(EmptyPayload, SupervisoryFrameGivesEmptyLinesAndNoHex)
{
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const Ax25Frame rr{{"BEACON", 0, false}, {"NOCALL", 3, false}, {}, 0x21, std::nullopt, ""};
    const FrameReport report = ReportFrame(ReceivedAx25(rr), dec, true, Config("YES", "YES"), clock);
    const std::vector<ConsoleLine> lines = ConsoleLines(report.console);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], (ConsoleLine{"ctrl: 33   PID: -- {RR1v}   0 Payload Bytes", colour::Grey}));
    EXPECT_EQ(lines[4], (ConsoleLine{"", colour::Green}));
    EXPECT_EQ(report.hexLogLine, std::nullopt);
    EXPECT_EQ(report.dumpLogLine, "2013-07-28 14:05:09.437 UTC: \r\n");
}

struct ControlLineCase {
    const char* situation;
    ReceiveState rx;
    const char* controlLine;
    const char* header;
};

void PrintTo(const ControlLineCase& c, std::ostream* os) { *os << c.situation; }

class ControlLines : public ::testing::TestWithParam<ControlLineCase> {};

TEST_P(ControlLines, ShowControlPidAndPayloadCount)
{
    const ControlLineCase& c = GetParam();
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const std::vector<ConsoleLine> lines =
        ConsoleLines(ReportFrame(c.rx, dec, true, Config("NO", "NO"), clock).console);
    EXPECT_EQ(lines[1].text, std::string("2013-07-28 14:05:09.437 UTC: ") + c.header) << c.situation;
    EXPECT_EQ(lines[2].text, c.controlLine) << c.situation;
}

Ax25Frame WithPid(std::uint8_t control, std::uint8_t pid, std::string info)
{
    return {{"BEACON", 0, false}, {"NOCALL", 3, false}, {}, control, pid, std::move(info)};
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ControlLines,
    ::testing::Values(
        ControlLineCase{"PID below 16 without leading zero", ReceivedAx25(WithPid(0x00, 0x08, "ab")),
                        "ctrl: 0   PID: 8 {I00^}   2 Payload Bytes", "[21 Bytes KISS Frame (without CRC)]"},
        ControlLineCase{"UI with P/F set shows 19", ReceivedAx25(WithPid(0x13, 0xCF, "")),
                        "ctrl: 19   PID: CF {UI!}   0 Payload Bytes", "[19 Bytes KISS Frame (without CRC)]"},
        ControlLineCase{"port 1 is an unknown protocol, decoded all the same",
                        ReceivedAx25(WithPid(0x03, 0xF0, "x"), 0x10), "ctrl: 3   PID: F0 {UI}   1 Payload Bytes",
                        "[20 Bytes unknown Protocol]"},
        ControlLineCase{"SMACK keeps its two CRC bytes in the payload",
                        Received(EncodeSmackFrame(EncodeAx25(WithPid(0x03, 0xF0, "abc")))),
                        "ctrl: 3   PID: F0 {UI}   5 Payload Bytes", "[24 Bytes SMACK Frame (with CRC)]"},
        ControlLineCase{"type byte 9 is a time frame", ReceivedAx25(WithPid(0x03, 0xF0, ""), 0x09),
                        "ctrl: 3   PID: F0 {UI}   0 Payload Bytes", "[19 Bytes TIME Frame]"},
        ControlLineCase{"the header counts escapes, the payload count does not",
                        ReceivedAx25(WithPid(0x03, 0xF0, "\xC0\xDB")), "ctrl: 3   PID: F0 {UI}   2 Payload Bytes",
                        "[23 Bytes KISS Frame (without CRC)]"}));

TEST(PayloadText, ControlBytesAreDotsAndEverythingElseStays)
{
    std::string info;
    for (int b = 0; b <= 255; ++b)
        info.push_back(static_cast<char>(b));
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const FrameReport report = ReportFrame(ReceivedAx25(UiFrame(info)), dec, true, Config("NO", "NO"), clock);
    const std::vector<ConsoleLine> lines = ConsoleLines(report.console);
    const ConsoleLine& text = lines[lines.size() - 3];
    ASSERT_EQ(text.colour, colour::Green);
    EXPECT_EQ(text.text, std::string(32, '.') + info.substr(32));
    EXPECT_EQ(report.dumpLogLine, std::string(32, '.') + info.substr(32) + "\r\n");
}

TEST(EscapedPayload, RawModeShowsTheEscapesDecodingModeTheBytes)
{
    const FakeClock clock(ExampleTime());
    DecoderState dec;
    const ReceiveState rx = ReceivedAx25(UiFrame("\xC0\xDB"));
    EXPECT_EQ(HexDumpLines(ReportFrame(rx, dec, true, Config("NO", "NO"), clock)),
              std::vector<std::string>{"   1 > C0 DB "});
    const std::vector<std::string> raw = HexDumpLines(ReportFrame(rx, dec, false, Config("NO", "NO"), clock));
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].substr(raw[0].size() - 12), "03 F0 DB DC ");
    EXPECT_EQ(raw[1], "  21 > DB DD C0 ");
}

}  // namespace
}  // namespace quillon::test
