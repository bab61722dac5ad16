// The TNC link: the time frames of the raw log, the serial settings and line events, the command scripts.
#include "core_test.h"
#include "tnc/back_off.h"
#include "tnc/line_event_codes.h"
#include "tnc/serial_events.h"
#include "tnc/serial_settings.h"
#include "tnc/time_frame.h"
#include "tnc/tnc_script.h"

namespace quillon::test { namespace {

std::optional<system_clock::time_point> Decode(std::string_view f) { return ReadTimeFrame(Received(f)); }

TEST(TimeFrame, RoundTripToTheMillisecondAndNothingElse)
{
    const std::string frame = EncodeTimeFrame(kExampleTime + 999us);
    EXPECT_EQ(frame, Bytes("C0 09") + "2013-07-28 14:05:09.437 UTC" + Bytes("C0"));
    EXPECT_EQ(Decode(frame), kExampleTime);
    const struct { const char* what; std::size_t at; std::string with; } broken[] = {
        {"command byte", 1, std::string(1, '\0')}, {"opening FEND", 0, "A"}, {"closing FEND", 29, "A"},
        {" UTC moved", 25, "UTC "}, {"month 13", 7, "13"}, {"30 February", 7, "02-30"}, {"hour 24", 13, "24"},
        {"minute 60", 16, "60"}, {"second 60", 19, "60"}, {"letter for a digit", 24, "x"}, {"no dash", 6, " "},
        {"a year the clock cannot hold", 2, "1006"}, {"nor this one", 2, "9999"},
    };
    for (const auto& b : broken)
        EXPECT_EQ(Decode(std::string(frame).replace(b.at, b.with.size(), b.with)), std::nullopt) << b.what;
    EXPECT_FALSE(Decode(frame.substr(0, 29)) || Decode(frame + '\xC0'));
}

TEST(TimeFrame, StrippedFromARawLogCutAsTheReceiverCutsIt)
{
    const std::string t = EncodeTimeFrame(kExampleTime), a = Bytes("C0 00 41 C0"), b = Bytes("C0 00 DB DC C0");
    const std::string broken = std::string(t).replace(1, 1, "\x0A");
    const struct { const char* name; std::string log, frames; std::size_t timeFrames; } cases[] = {
        {"a time frame before each frame", t + a + t + b, a + b, 2}, {"no time frames", a + b, a + b, 0},
        {"noise and a doubled FEND", "xy" + t + Bytes("C0") + a + "z", a, 1}, {"another command", broken, broken, 0},
        {"a time frame last", a + t, a, 1}, {"a frame cut off at the end", t + a.substr(0, 3), "", 1}, {"empty", "", "", 0},
    };
    for (const auto& c : cases) {
        std::size_t timeFrames = 99;
        EXPECT_EQ(std::pair(StripTimeFrames(c.log, &timeFrames), timeFrames), std::pair(c.frames, c.timeFrames)) << c.name;
    }
}

TEST(SerialSettings, FourValidFieldsOrNothing)
{
    using S = SerialSettings::StopBits;
    const std::string letters = "NnEeOoMmSs";
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const auto s = ParseSerialSettings("9600," + letters.substr(i, 1) + ",8,1");
        EXPECT_EQ(s ? int(s->parity) : -1, int(i / 2)) << letters[i];
    }
    for (const auto& [text, baud, data, stop] : {std::tuple("1,N,5,1", 1, 5, S::One), {"300,N,6,1.5", 300, 6, S::OneAndHalf},
                                                 {"1200,N,7,2", 1200, 7, S::Two}, {"115200,N,8,1", 115200, 8, S::One}}) {
        const SerialSettings s = ParseSerialSettings(text).value_or(SerialSettings{0});
        EXPECT_EQ(std::tuple(s.baud, s.dataBits, s.stopBits), std::tuple(baud, data, stop)) << text;
    }
    for (const char* bad : {"", "9600,N,8", "9600,N,8,1,1", "9600,N,8,1,", "0,N,8,1", "96x0,N,8,1", " 9600,N,8,1",
                            "9600,,8,1", "9600,NN,8,1", "9600,N,4,1", "9600,N,9,1", "9600,N,88,1", "9600,N,8,3", "9600,N,8,1.0"})
        EXPECT_FALSE(ParseSerialSettings(bad)) << bad;
}

TEST(SerialEvents, LinesOfTheCodesAndTheCodesOfALineChange)
{
    // The ends of both ranges of codes and the holes in them.
    const std::pair<int, const char*> table[] = {
        {1, "There are characters in the transmit buffer."}, {3, "Change in the CTS line."}, {6, "Ring Indicator"},
        {1001, "A Break was received."}, {1004, "Framing Error"}, {1006, "Data Lost"},
        {1011, "Unexpected error retrieving DCB"},
    };
    for (const auto& [code, line] : table)
        EXPECT_EQ(SerialEventLine(code), std::optional<std::string_view>(line)) << code;
    for (const int code : {2, 0, 7, 1000, 1005, 1012, -1})
        EXPECT_EQ(SerialEventLine(code), std::nullopt) << code;
    using C = LineCounters;
    const ModemLines idle{}, on{true, true, false, false}, all{true, true, true, false}, ring{false, false, false, true};
    const struct { const char* name; LineSnapshot before, after; std::vector<int> codes; } cases[] = {
        {"TNC switched on", {idle, C{}}, {on, C{.cts = 1, .dsr = 1}}, {3, 4}},
        {"driver counts DSR but not CTS", {idle, C{}}, {on, C{.dsr = 1}}, {3, 4}},
        {"wrong baud rate", {on, C{}}, {on, C{.frame = 480}}, {1004, 1004, 1004}},
        {"errors of every kind", {on, C{}}, {on, C{.brk = 1, .overrun = 1, .bufOverrun = 1, .parity = 1}},
         {1001, 1006, 1008, 1009}},
        {"two rings counted", {idle, C{.ring = 1}}, {idle, C{.ring = 3}}, {6, 6}},
        {"ring seen, not yet counted", {idle, C{}}, {ring, C{}}, {}},
        {"without counters: line changes", {on, std::nullopt}, {all, std::nullopt}, {5}},
        {"without counters: ring rises", {idle, std::nullopt}, {ring, std::nullopt}, {6}},
        {"without counters: ring falls", {ring, std::nullopt}, {idle, std::nullopt}, {}},
        {"counters in one reading only", {idle, C{}}, {on, std::nullopt}, {3, 4}},
        {"line state in the later reading only", {std::nullopt, C{}}, {on, C{}}, {}},
        {"without line state: errors only", {std::nullopt, C{}}, {std::nullopt, C{.brk = 1, .frame = 1}}, {1001, 1004}},
        {"counters restarted", {on, C{.cts = 4, .frame = 9}}, {on, C{}}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LineEventCodes(c.before, c.after), c.codes) << c.name;
}

TEST(TncScript, SendsAllCommandLinesTranslatedInOneGoOrNone)
{
    EXPECT_EQ(TranslateScriptLine("KISS ON^$X"), "KISS ON\x1B\xC0\xFF\xC0X\r");
    EXPECT_EQ(TranslateScriptLine(""), "\r");
    const struct { const char* name; std::string text; std::string said; bool portOpen = true; bool takes = true; }
    cases[] = {  // `said`: the bytes sent in one call, between "<" and ">", and the status lines, each behind a "|"
        {"blank before # is a command", " # not a comment\r\n", "< # not a comment\r>"},
        {"comments skipped, last line without a line break", "# set up\r\nKISS ON\r\n#RESTART\r\nRESTART",
         "<KISS ON\rRESTART\r>"},
        {"LF, CR, CR LF and LF CR end a line, empty lines skipped", "A\n\n\nB\rC\r\nD\n\rE", "<A\rB\rC\rD\rE\r>"},
        {"control and high bytes as they are", std::string("\0\xFF\xC0\xDB\x7F\n", 6), std::string("<\0\xFF\xC0\xDB\x7F\r>", 8)},
        {"nothing to send", "# only a comment\r\n\r\n", ""}, {"port closed", "KISS ON\r\n$\r\n", "", false},
        {"refused whole by a full queue", "A^XB\r\n$\r\n", "|tnc_init.txt: not sent, the port's queue is full", true, false},
    };
    const auto run = [](std::string_view script, std::string_view text, std::string_view refusal, bool portOpen,
                        bool takes) {
        std::string out;
        RunTncScript(
            script, text, refusal, [&] { return portOpen; },
            [&](std::string_view b) { return takes && (out += "<" + std::string(b) + ">", true); },
            [&](std::string_view line) { out += "|" + std::string(line); });
        return out;
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(kTncInitScript, c.text, "", c.portOpen, c.takes), "|read tnc_init.txt" + c.said + "|done") << c.name;
    // A file that was there but not read: why, between the two lines.
    EXPECT_EQ(run(kTncExitScript, "", "tnc_exit.txt: not a regular file", true, true),
              "|read tnc_exit.txt|tnc_exit.txt: not a regular file|done");
}

// The waits double from the first to the longest and stay there, however many tries fail.
TEST(BackOff, DoublesUpToTheLongestWait)
{
    const BackOff standard, odd{.first = 3s, .longest = 10s};
    const struct { const BackOff& schedule; int failedBefore; milliseconds wait; } cases[] = {
        {standard, 0, 2s}, {standard, 1, 4s}, {standard, 4, 32s}, {standard, 5, 60s}, {standard, 6, 60s},
        {standard, 1 << 30, 60s}, {odd, 1, 6s}, {odd, 2, 10s}};
    for (const auto& c : cases)
        EXPECT_EQ(c.schedule.Delay(c.failedBefore), c.wait) << c.failedBefore;
}

} }  // namespace quillon::test
