// Offline decoding: quillon-dump on a large raw log beside tshark reading the
// same frames from the pcap file quillon-pcap makes of it (link type 202, the
// KISS command byte and the un-escaped frame) with full packet details (-V).
// Both write to /dev/null.
//
//   bench_decode [--frames N] [--repeat R]
//     N frames in the log (default 50000; tshark reads them once),
//     quillon-dump reads the same log R times over (default 10)
#include <unistd.h>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "program.h"
#include "tnc/time_frame.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

// The records of a pcap file: 24-byte file header, then 16-byte record
// headers with the stored length (little-endian) at offset 8.
std::size_t PcapRecords(const std::string& pcap)
{
    std::size_t records = 0;
    for (std::size_t at = 24; at + 16 <= pcap.size(); ++records) {
        const auto* p = reinterpret_cast<const unsigned char*>(pcap.data() + at + 8);
        at += 16 + (std::size_t(p[0]) | std::size_t(p[1]) << 8 | std::size_t(p[2]) << 16 | std::size_t(p[3]) << 24);
    }
    return records;
}

// Runs a program to its end with its output thrown away; seconds, or -1 when
// it failed.
double TimedRun(const QString& program, const QStringList& arguments)
{
    Stopwatch w;
    QProcess child;
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(program, arguments);
    if (!child.waitForFinished(30 * 60 * 1000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fprintf(stderr, "bench_decode: %s failed\n", qPrintable(program));
        return -1;
    }
    return w.Seconds();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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
    const std::string timeFrame =
        EncodeTimeFrame(std::chrono::sys_days(std::chrono::year(2013) / 7 / 28) + std::chrono::milliseconds(50709437));
    std::string log;
    for (std::size_t i = 0; i < frames; ++i)
        log += timeFrame + sample[i % sample.size()];
    QTemporaryDir work;
    const QString kss = work.filePath("large.kss"), pcap = work.filePath("large.pcap");
    const QString oneKss = work.filePath("one.kss"), onePcap = work.filePath("one.pcap");
    test::WriteFile(kss.toStdString(), log);
    test::WriteFile(oneKss.toStdString(), timeFrame + sample[0]);

    const QString dump = QString::fromStdString(ProgramDir() + "/quillon-dump");
    const QString converter = QString::fromStdString(ProgramDir() + "/quillon-pcap");
    if (TimedRun(converter, {kss, pcap}) < 0 || TimedRun(converter, {oneKss, onePcap}) < 0)
        return 1;
    const std::size_t records = PcapRecords(test::ReadFile(pcap.toStdString()));

    QStringList dumpArgs = {"--color=never"};
    for (std::size_t i = 0; i < repeat; ++i)
        dumpArgs.append(kss);
    const double dumpSeconds = TimedRun(dump, dumpArgs);
    const double dumpStart = TimedRun(dump, {"--color=never", oneKss});
    if (dumpSeconds < 0 || dumpStart < 0)
        return 1;
    const double dumpRate = double(frames * repeat) / dumpSeconds;
    std::printf("offline decoding: %s frames in a %s-byte raw log\n", Grouped(double(frames)).c_str(),
                Grouped(double(log.size())).c_str());
    std::printf("  quillon-dump   %s frames in %.2f s: %s frames/s (start-up %.3f s)\n",
                Grouped(double(frames * repeat)).c_str(), dumpSeconds, Grouped(dumpRate).c_str(), dumpStart);

    const QString tshark = QStringLiteral("/usr/bin/tshark");
    if (::access(qPrintable(tshark), X_OK) != 0) {
        std::printf("  tshark         not installed (Debian package tshark)\n");
        Result("quillon-dump, frames/s", Grouped(dumpRate), "(no tshark)", "-");
        return 0;
    }
    const double tsharkSeconds = TimedRun(tshark, {"-n", "-r", pcap, "-V"});
    const double tsharkStart = TimedRun(tshark, {"-n", "-r", onePcap, "-V"});
    if (tsharkSeconds < 0 || tsharkStart < 0)
        return 1;
    const double tsharkRate = double(records) / tsharkSeconds;
    const double tsharkSteady = double(records) / (tsharkSeconds - tsharkStart);
    std::printf("  tshark -V      %s frames in %.2f s: %s frames/s; %s frames/s without its start-up of %.2f s\n",
                Grouped(double(records)).c_str(), tsharkSeconds, Grouped(tsharkRate).c_str(),
                Grouped(tsharkSteady).c_str(), tsharkStart);
    const double ratio = dumpRate / tsharkRate;
    std::printf("  quillon-dump is %.0f times as fast as tshark -V (%.0f times without tshark's start-up)\n", ratio,
                dumpRate / tsharkSteady);

    char figure[160];
    std::snprintf(figure, sizeof figure, "%s vs %s frames/s (x%.0f)", Grouped(dumpRate).c_str(),
                  Grouped(tsharkRate).c_str(), ratio);
    Result("quillon-dump vs tshark -V", figure, ">= x10", Verdict(ratio >= 10 && records == frames));
    return 0;
}
