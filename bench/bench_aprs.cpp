// The APRS decoder: packets per second on one core over a mix of every type,
// the decoder alone; then the CPU per frame of the receive pipeline with the
// JSON log on, for the same frames as APRS (UI, PID F0: each JSON line with
// its "aprs" object) and with PID CF (the same bytes, no object), and with the
// report's APRS line on as well.
//
//   bench_aprs [--seconds S]    each measurement runs about S seconds (default 2)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/receiver.h"
#include "aprs/aprs.h"
#include "ax25_encoder.h"
#include "bench_util.h"
#include "timesvc/clock.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

struct Packet {
    const char* destination;
    const char* info;
};

// Every type and format, the extensions among them, and a few malformed ones.
constexpr Packet kMix[] = {
    {"APRS", "!4903.50N/07201.75W-Test 001234"},
    {"APRS", "=4903.5 N\\07201.75E>088/036PHG5132 /A=001234"},
    {"APRS", "/092345z4903.50N/07201.75W>Test1234!W12!"},
    {"APRS", "@234517h4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900wRSW"},
    {"APRS", "=/5L!!<*e7>7P[Moving"},
    {"APRS", "!/5L!!<*e7OS]S|!\"!#!$|"},
    {"S32U6T", "`(_fn\"Oj/\"4T}Mobile"},
    {"SSRUVT", "'(_fn\"Oj/]\"4T}="},
    {"APRS", "$GPRMC,063909,A,3349.4302,N,11700.3721,W,43.022,89.3,291099,13.6,E*52"},
    {"APRS", "$GPGGA,102705,5157.9762,N,00029.3256,W,1,04,2.0,75.7,M,47.6,M,,*62"},
    {"APRS", ";LEADER   *092345z4903.50N/07201.75W>088/036"},
    {"APRS", ")AID #2!4903.50N/07201.75WA"},
    {"APRS", ":WU2Z     :Testing{003"},
    {"APRS", ":KB2ICI-14:ack003"},
    {"APRS", ":BLN3     :Snow expected in Tampa RSN"},
    {"APRS", ":N0QBF-11 :PARM.Battery,Btemp,AirTemp,Pres,Altude"},
    {"APRS", ">092345zNet Control Center"},
    {"APRS", ">IO91SX/G"},
    {"APRS", "_10090556c220s004g005t077r000p000P000h50b09900wRSW"},
    {"APRS", "T#005,199,000,255,073,123,01101001"},
    {"APRS", "?APRS?"},
    {"APRS", "<IGATE,MSG_CNT=30,LOC_CNT=0"},
    {"APRS", "}KB2ICI>APRS,TCPIP*,WIDE:!4903.50N/07201.75W-Test"},
    {"APRS", "{Q1qwerty"},
    {"APRS", "Hello"},
    {"S32U6T", "`(_fn\"O"},
    {"APRS", "!9100.00N/07201.75W-"},
};


// The decoder alone, round the mix until `seconds` have passed.
double DecoderPacketsPerSecond(double seconds)
{
    const auto now = std::chrono::system_clock::now();
    std::vector<AprsInput> inputs;
    for (const Packet& p : kMix)
        inputs.push_back({.source = "N0CALL-9",
                          .destination = p.destination,
                          .digipeaters = {},
                          .control = 0x03,
                          .pid = 0xF0,
                          .payload = {reinterpret_cast<const std::uint8_t*>(p.info), std::strlen(p.info)},
                          .time = now});
    std::size_t packets = 0;
    double check = 0;
    const double start = CpuSeconds();
    double elapsed = 0;
    while (elapsed < seconds) {
        for (int round = 0; round < 1000; ++round) {
            for (const AprsInput& input : inputs) {
                const std::optional<AprsPacket> packet = DecodeAprs(input);
                check += packet->latitude.value_or(0) + double(packet->comment.size());
            }
        }
        packets += 1000 * inputs.size();
        elapsed = CpuSeconds() - start;
    }
    if (check == 0)
        std::puts("");  // keeps the loop's results alive
    return double(packets) / elapsed;
}

struct JsonSink final : ReceiveSink {
    std::size_t bytes = 0, lines = 0, runs = 0;
    void JsonLog(std::string_view line) override { bytes += line.size(), ++lines; }
    void Report(const FrameReport& report) override { runs += report.console.size(); }
};

// The mix as KISS frames through two digipeaters with this PID, round-robin.
std::string Stream(std::uint8_t pid, std::size_t frames)
{
    std::vector<std::string> kiss;
    for (const Packet& p : kMix) {
        const Ax25Frame frame{{p.destination, 0, false},
                              {"N0CALL", 9, false},
                              {{"WIDE1", 1, true}, {"WIDE2", 1, false}},
                              0x03,
                              pid,
                              p.info};
        const ByteString bytes = EncodeKissFrame(0x00, EncodeAx25(frame));
        kiss.emplace_back(bytes.begin(), bytes.end());
    }
    return RepeatFrames(kiss, frames);
}

// CPU microseconds per frame of the receive pipeline, JSON log on.
double PipelineMicroseconds(const std::string& stream, std::size_t frames, bool aprsLine, double seconds)
{
    Receiver receiver(RealClock(), {.report = {.timeFrames = false, .hexFile = false, .aprs = aprsLine},
                                    .decode = true,
                                    .buildReports = true,
                                    .readLogTimes = false,
                                    .json = true});
    JsonSink sink;
    std::size_t fed = 0;
    const double start = CpuSeconds();
    double elapsed = 0;
    while (elapsed < seconds) {
        receiver.Feed(stream, sink);
        fed += frames;
        elapsed = CpuSeconds() - start;
    }
    if (sink.lines != fed)
        std::fprintf(stderr, "bench_aprs: %zu JSON lines for %zu frames\n", sink.lines, fed);
    return elapsed / double(fed) * 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
    }
    const double rate = DecoderPacketsPerSecond(seconds);
    std::printf("decoder alone: %s packets/s on one core over %zu packets of every type\n", Grouped(rate).c_str(),
                std::size(kMix));
    Result("APRS decoder alone, a mix of every type", Grouped(rate) + " packets/s", ">= 1,000,000 packets/s",
           Verdict(rate >= 1e6));

    constexpr std::size_t kFrames = 10000;
    const std::string aprs = Stream(0xF0, kFrames), other = Stream(0xCF, kFrames);
    // Alternate the runs so that a change of load on the machine falls on both.
    double without = 0, with = 0, withLine = 0;
    for (int round = 0; round < 2; ++round) {
        without += PipelineMicroseconds(other, kFrames, false, seconds / 2);
        with += PipelineMicroseconds(aprs, kFrames, false, seconds / 2);
        withLine += PipelineMicroseconds(aprs, kFrames, true, seconds / 2);
    }
    without /= 2, with /= 2, withLine /= 2;
    std::printf(
        "receive pipeline, JSON log on, CPU per frame: %.2f us without the aprs object (PID CF), "
        "%.2f us with it (x%.3f), %.2f us with the report's APRS line too (x%.3f)\n",
        without, with, with / without, withLine, withLine / without);
    // The pipeline alone, without drawing the console or writing the logs: the
    // share of a whole frame's CPU in the running program is smaller.
    Result(
        "Receive pipeline alone, JSON log on: CPU per frame with the aprs object (and the APRS line), against "
        "without",
        Grouped(with, 2) + " (" + Grouped(withLine, 2) + ") against " + Grouped(without, 2) + " us: +" +
            Grouped(with - without, 2) + " (+" + Grouped(withLine - without, 2) + ") us",
        "-", "-");
    return 0;
}
