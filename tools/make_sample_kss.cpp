// quillon-mksample: writes the sample traffic log (a raw KISS log as the
// program records it with TIMEFRAMES=YES: a time frame before every frame).
//
//   quillon-mksample [FILE]      standard output when no FILE is given
//
// The traffic is made up: invented callsigns, fixed times. It exercises what
// the frame report can show: APRS UI frames through repeated and unrepeated
// digipeaters, a connected-mode session, every supervisory and unnumbered
// frame name, a SMACK frame with its CRC, escaped FEND and FESC in payloads,
// a frame on KISS port 1 and payload bytes from 0x80 to 0xFF.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "ax25_encoder.h"
#include "timesvc/timesvc.h"
#include "tnc/time_frame.h"

using namespace quillon;
using namespace std::string_literals;

namespace {

struct SampleFrame {
    const char* time;
    std::uint8_t command;  // 0x00 KISS, 0x80 SMACK, 0x10 KISS port 1
    Ax25Frame frame;
};

Ax25Address A(const char* call, int ssid = 0, bool bit7 = false) { return {call, ssid, bit7}; }

std::string AllHighBytes()
{
    std::string info = "8-bit:";
    for (int b = 0x80; b <= 0xFF; ++b)
        info.push_back(static_cast<char>(b));
    return info;
}

std::vector<SampleFrame> SampleTraffic()
{
    const std::optional<std::uint8_t> none;
    return {
        {"2013-07-28 14:05:01.120",
         0x00,
         {A("APRS"), A("N0CALL", 9), {A("WIDE1", 1)}, 0x03, 0xF0, "!4903.50N/07201.75W-Test station"}},
        {"2013-07-28 14:05:03.004",
         0x00,
         {A("APZ123"), A("N0CALL", 7), {A("RELAY", 0, true), A("WIDE2", 1)}, 0x03, 0xF0, ">Made-up status text"}},
        {"2013-07-28 14:05:09.437",
         0x00,
         {A("BEACON", 0, true), A("NOCALL", 3), {A("RELAY", 1, true)}, 0x03, 0xF0, "Hello\r"}},
        {"2013-07-28 14:05:12.998",
         0x00,
         {A("APRS"),
          A("TEST", 15),
          {A("NODE", 2, true), A("RELAY", 0, true), A("WIDE2")},
          0x03,
          0xF0,
          "=4903.50N/07201.75W#Three digipeaters"}},
        {"2013-07-28 14:05:20.050", 0x00, {A("BEACON"), A("TEST"), {}, 0x13, 0xF0, "UI with poll bit"}},
        {"2013-07-28 14:06:00.000", 0x00, {A("N0CALL", 2, true), A("NOCALL", 1), {}, 0x3F, none, ""}},
        {"2013-07-28 14:06:00.412", 0x00, {A("NOCALL", 1), A("N0CALL", 2, true), {}, 0x73, none, ""}},
        {"2013-07-28 14:06:01.275",
         0x00,
         {A("N0CALL", 2, true), A("NOCALL", 1), {}, 0x00, 0xF0, "Good afternoon, this is a test of the I frame\r"}},
        {"2013-07-28 14:06:02.031", 0x00, {A("NOCALL", 1), A("N0CALL", 2), {}, 0x21, none, ""}},
        {"2013-07-28 14:06:03.840", 0x00, {A("NOCALL", 1), A("N0CALL", 2, true), {}, 0x22, 0xF0, "Reply 1\r"}},
        {"2013-07-28 14:06:04.500", 0x00, {A("N0CALL", 2), A("NOCALL", 1, true), {}, 0x29, none, ""}},
        {"2013-07-28 14:06:05.017", 0x00, {A("N0CALL", 2), A("NOCALL", 1, true), {}, 0x45, none, ""}},
        {"2013-07-28 14:06:05.930", 0x00, {A("NOCALL", 1), A("N0CALL", 2, true), {}, 0xB6, 0x08, "\x01\x02segment"}},
        {"2013-07-28 14:06:07.004", 0x00, {A("N0CALL", 2), A("NOCALL", 1), {}, 0x97, none, "\x00\x22\x01"s}},
        {"2013-07-28 14:06:08.660",
         0x00,
         {A("NOCALL", 1, true), A("N0CALL", 2), {}, 0xAF, none, "\x82\x80\x00\x08\x02\x02\x00\x20"s}},
        {"2013-07-28 14:06:09.101", 0x00, {A("NOCALL", 1, true), A("N0CALL", 2), {}, 0xF3, none, "Link test"}},
        {"2013-07-28 14:06:10.345", 0x00, {A("N0CALL", 2, true), A("NOCALL", 1), {}, 0x53, none, ""}},
        {"2013-07-28 14:06:10.801", 0x00, {A("NOCALL", 1), A("N0CALL", 2, true), {}, 0x1F, none, ""}},
        {"2013-07-28 14:07:00.250", 0x00, {A("N0CALL", 4, true), A("TEST", 1), {}, 0x7F, none, ""}},
        {"2013-07-28 14:07:00.999", 0x00, {A("N0CALL", 4, true), A("TEST", 1), {}, 0x0D, none, ""}},
        {"2013-07-28 14:07:01.500", 0x00, {A("N0CALL", 4, true), A("TEST", 1), {}, 0x0B, none, "?"}},
        {"2013-07-28 14:08:15.125", 0x80, {A("APRS"), A("NOCALL", 5), {A("WIDE1", 1)}, 0x03, 0xF0, ">SMACK with CRC"}},
        {"2013-07-28 14:08:30.333",
         0x00,
         {A("BEACON"), A("N0CALL"), {}, 0x03, 0xF0, "FEND \xC0 FESC \xDB both \xC0\xDB end"s}},
        {"2013-07-28 14:08:45.678",
         0x10,
         {A("BEACON"), A("TEST", 8), {A("RELAY", 3)}, 0x03, 0xF0, "Frame on KISS port 1"}},
        {"2013-07-28 14:09:00.010",
         0x00,
         {A("APRS"), A("N0CALL", 10), {A("RELAY", 0, true)}, 0x03, 0xF0, AllHighBytes()}},
        {"2013-07-28 23:59:59.999", 0x00, {A("CQ"), A("NOCALL", 11), {}, 0x03, 0xCF, "Tabs\tand\x00nulls\x1F."s}},
    };
}

ByteString SampleLog()
{
    ByteString log;
    for (const SampleFrame& s : SampleTraffic()) {
        const std::string timeFrame = EncodeTimeFrame(*ParseTimestamp(s.time));
        const ByteString ax25 = EncodeAx25(s.frame);
        const ByteString kiss = s.command == 0x80 ? EncodeSmackFrame(ax25) : EncodeKissFrame(s.command, ax25);
        log.insert(log.end(), timeFrame.begin(), timeFrame.end());
        log.insert(log.end(), kiss.begin(), kiss.end());
    }
    return log;
}

}  // namespace

int main(int argc, char** argv)
{
    constexpr std::string_view kUsage = "usage: quillon-mksample [FILE]\n";
    const CommandLine commandLine("quillon-mksample",
                                  "usage: quillon-mksample [FILE]\n"
                                  "Writes the made-up sample traffic of Quillon, a raw KISS log with a time\n"
                                  "frame before every frame, into FILE, or to standard output without FILE.\n"
                                  "\n"
                                  "  --help      show this help and exit\n"
                                  "  --version   show the version and exit\n",
                                  kUsage);
    if (argc == 2)
        commandLine.HandleStandardOption(argv[1]);
    if (argc > 2)
        commandLine.Misuse();
    // A FILE that starts with "-" is taken for an option; "./-name" writes it.
    if (argc == 2 && argv[1][0] == '-' && argv[1][1] != '\0')
        commandLine.UnknownOption(argv[1]);
    std::FILE* out = argc == 2 ? std::fopen(argv[1], "wb") : stdout;
    if (out == nullptr) {
        std::fprintf(stderr, "quillon-mksample: cannot write %s\n", argv[1]);
        return 1;
    }
    const ByteString log = SampleLog();
    const bool written = std::fwrite(log.data(), 1, log.size(), out) == log.size();
    const bool closed = (out == stdout ? std::fflush(out) : std::fclose(out)) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "quillon-mksample: cannot write %s\n", argc == 2 ? argv[1] : "standard output");
        return 1;
    }
    return 0;
}
