// Offline decoding: quillon-dump on a large raw log beside tshark reading the
// same frames from a pcap file (link type 202, KISS command byte and
// un-escaped frame) with full packet details (-V). Both write to /dev/null.
// The pcap comes from quillon-pcap when it is built, else it is written here.
//
//   bench_decode [--frames N] [--repeat R]
//     N frames in the log (default 50000; tshark reads them once),
//     quillon-dump reads the same log R times over (default 10)
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "support/child_process.h"
#include "support/files.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

void Put32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char((v >> (8 * i)) & 0xFF));
}

// Classic pcap, little-endian, microsecond times, link type 202: each record
// the KISS command byte and the un-escaped frame, without the FENDs.
std::string PcapOf(const std::vector<std::string>& frames, std::size_t count)
{
    std::string out;
    Put32(out, 0xA1B2C3D4);
    out += std::string("\x02\x00\x04\x00", 4);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 65535);
    Put32(out, 202);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& f = frames[i % frames.size()];
        std::string packet;
        for (std::size_t j = 1; j + 1 < f.size(); ++j) {
            if (f[j] == '\xDB' && j + 2 < f.size()) {
                const char next = f[++j];
                packet.push_back(next == '\xDC' ? '\xC0' : next == '\xDD' ? '\xDB' : next);
            } else {
                packet.push_back(f[j]);
            }
        }
        Put32(out, std::uint32_t(1375020000 + i));  // 2013-07-28
        Put32(out, 0);
        Put32(out, std::uint32_t(packet.size()));
        Put32(out, std::uint32_t(packet.size()));
        out += packet;
    }
    return out;
}

std::size_t PcapRecords(const std::string& pcap)
{
    std::size_t records = 0;
    for (std::size_t at = 24; at + 16 <= pcap.size(); ++records) {
        const auto* p = reinterpret_cast<const unsigned char*>(pcap.data() + at + 8);
        at += 16 + (std::size_t(p[0]) | std::size_t(p[1]) << 8 | std::size_t(p[2]) << 16 |
                    std::size_t(p[3]) << 24);
    }
    return records;
}

// Runs a program to its end with its output thrown away; seconds, or -1 when
// it failed.
double TimedRun(const std::vector<std::string>& args)
{
    Stopwatch w;
    test::ChildProcess child({args, {}, {}, {}});
    const test::ExitStatus status = child.WaitExit(std::chrono::minutes(30));
    if (!status.exited || status.code != 0) {
        std::fprintf(stderr, "bench_decode: %s: %s\n", args[0].c_str(), status.Describe().c_str());
        return -1;
    }
    return w.Seconds();
}

bool Executable(const std::string& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t frames = 50000;
    std::size_t repeat = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--repeat") == 0)
            repeat = std::stoul(argv[++i]);
    }

    // A raw log as the program writes it with TIMEFRAMES=YES.
    const auto sample = SampleFrames();
    const std::string timeFrame = std::string("\xC0\x09", 2) + "2013-07-28 14:05:09.437 UTC\xC0";
    std::string log;
    for (std::size_t i = 0; i < frames; ++i)
        log += timeFrame + sample[i % sample.size()];
    test::TempDir work("quillon-bench-decode");
    const std::string kss = work / "large.kss";
    const std::string pcap = work / "large.pcap";
    test::WriteBinaryFile(kss, log);

    const std::string dump = ProgramDir() + "/quillon-dump";
    const std::string converter = ProgramDir() + "/quillon-pcap";
    std::string pcapMadeBy = "quillon-pcap";
    if (!Executable(converter) || TimedRun({converter, kss, pcap}) < 0) {
        test::WriteBinaryFile(pcap, PcapOf(sample, frames));
        pcapMadeBy = "the benchmark";
    }
    const std::size_t records = PcapRecords(test::ReadBinaryFile(pcap));
    test::WriteBinaryFile(work / "one.pcap", PcapOf(sample, 1));
    test::WriteBinaryFile(work / "one.kss", timeFrame + sample[0]);

    std::vector<std::string> dumpArgs = {dump, "--color=never"};
    for (std::size_t i = 0; i < repeat; ++i)
        dumpArgs.push_back(kss);
    const double dumpSeconds = TimedRun(dumpArgs);
    const double dumpStart = TimedRun({dump, "--color=never", work / "one.kss"});
    const double dumpRate = double(frames * repeat) / dumpSeconds;
    std::printf("offline decoding: %s frames in a %s-byte raw log\n", Grouped(double(frames)).c_str(),
                Grouped(double(log.size())).c_str());
    std::printf("  quillon-dump   %s frames in %.2f s: %s frames/s (start-up %.3f s)\n",
                Grouped(double(frames * repeat)).c_str(), dumpSeconds, Grouped(dumpRate).c_str(), dumpStart);

    const char* tshark = "/usr/bin/tshark";
    if (!Executable(tshark)) {
        std::printf("  tshark         not installed (Debian package tshark)\n");
        Result("quillon-dump, frames/s", Grouped(dumpRate), "(no tshark)", "-");
        return 0;
    }
    const double tsharkSeconds = TimedRun({tshark, "-n", "-r", pcap, "-V"});
    const double tsharkStart = TimedRun({tshark, "-n", "-r", work / "one.pcap", "-V"});
    const double tsharkRate = double(records) / tsharkSeconds;
    const double tsharkSteady = double(records) / (tsharkSeconds - tsharkStart);
    std::printf("  tshark -V      %s frames (pcap by %s) in %.2f s: %s frames/s; %s frames/s without "
                "its start-up of %.2f s\n",
                Grouped(double(records)).c_str(), pcapMadeBy.c_str(), tsharkSeconds,
                Grouped(tsharkRate).c_str(), Grouped(tsharkSteady).c_str(), tsharkStart);
    const double ratio = dumpRate / tsharkRate;
    std::printf("  quillon-dump is %.0f times as fast as tshark -V (%.0f times without tshark's start-up)\n",
                ratio, dumpRate / tsharkSteady);

    char figure[160];
    std::snprintf(figure, sizeof figure, "%s vs %s frames/s (x%.0f)", Grouped(dumpRate).c_str(),
                  Grouped(tsharkRate).c_str(), ratio);
    Result("quillon-dump vs tshark -V", figure, ">= x10", Verdict(ratio >= 10 && records == frames));
    return 0;
}
