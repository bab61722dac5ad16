// APRS decoding offline, whole runs: quillon-dump --json on the raw log of a
// generated corpus (quillon-mkaprs) against Dire Wolf's decode_aprs on the
// TNC2 lines of the same packets, in the same run, both writing to /dev/null.
// Figures: packets per second of wall time and per CPU second, start-up
// included, as a user running either on a file sees it; the aim (twice
// decode_aprs's throughput) is judged per CPU second.
//
//   bench_aprsdump [--packets N]     N packets in the corpus (default 100000)
#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench_util.h"

using namespace quillon::bench;

namespace {

struct Run {
    double seconds = -1;  // wall; -1 when it failed
    double cpu = 0;       // user and system
};

double ChildrenCpu()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs a program to its end with its output thrown away.
Run TimedRun(const QString& program, const QStringList& arguments)
{
    const double cpuBefore = ChildrenCpu();
    Stopwatch w;
    QProcess child;
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(program, arguments);
    if (!child.waitForFinished(10 * 60 * 1000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fprintf(stderr, "bench_aprsdump: %s failed\n", qPrintable(program));
        return {};
    }
    return {w.Seconds(), ChildrenCpu() - cpuBefore};
}

void Print(const char* name, const Run& run, long packets)
{
    std::printf("  %-20s %.2f s, CPU %.2f s: %s packets/s, %s packets per CPU second\n", name, run.seconds, run.cpu,
                Grouped(double(packets) / run.seconds).c_str(), Grouped(double(packets) / run.cpu).c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    long packets = 100000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--packets") == 0)
            packets = std::stol(argv[++i]);

    QTemporaryDir work;
    const QString kss = work.filePath("corpus.kss"), tnc2 = work.filePath("corpus.tnc2");
    const QString maker = QString::fromStdString(ProgramDir() + "/quillon-mkaprs");
    const QString dump = QString::fromStdString(ProgramDir() + "/quillon-dump");
    if (TimedRun(maker, {"--count", QString::number(packets), kss, tnc2}).seconds < 0)
        return 1;
    std::printf("APRS decoding, whole runs: %s packets of every kind, a %s-byte raw log and %s bytes of TNC2 lines\n",
                Grouped(double(packets)).c_str(), Grouped(double(FileSize(kss.toStdString()))).c_str(),
                Grouped(double(FileSize(tnc2.toStdString()))).c_str());

    const Run quillon = TimedRun(dump, {"--json", kss});
    if (quillon.seconds < 0)
        return 1;
    Print("quillon-dump --json", quillon, packets);

    const QString decoder = QStringLiteral("/usr/bin/decode_aprs");
    if (::access(qPrintable(decoder), X_OK) != 0) {
        std::printf("  decode_aprs          not installed (Debian package direwolf)\n");
        Result("quillon-dump --json, packets/s", Grouped(double(packets) / quillon.seconds), "(no decode_aprs)", "-");
        return 0;
    }
    const Run direwolf = TimedRun(decoder, {tnc2});
    if (direwolf.seconds < 0)
        return 1;
    Print("decode_aprs", direwolf, packets);
    const double ratio = direwolf.seconds / quillon.seconds, cpuRatio = direwolf.cpu / quillon.cpu;
    std::printf("  quillon-dump --json is %.1f times as fast as decode_aprs (%.1f times per CPU second)\n", ratio,
                cpuRatio);

    char figure[160];
    std::snprintf(figure, sizeof figure, "%s vs %s packets/s (x%.1f; CPU x%.1f)",
                  Grouped(double(packets) / quillon.seconds).c_str(),
                  Grouped(double(packets) / direwolf.seconds).c_str(), ratio, cpuRatio);
    // Judged on CPU: on an idle machine the wall times follow it, on a shared
    // one they measure the neighbours.
    Result("quillon-dump --json vs decode_aprs", figure, ">= x2", Verdict(cpuRatio >= 2));
    return 0;
}
