// Idle: the real program, offscreen, started and left alone with both ports
// open and no traffic. Prints its share of one core and its wake-ups (context
// switches) per second over 30 seconds, after 3 seconds to settle.
//
//   bench_idle [--seconds S]    S defaults to 30
#include <unistd.h>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "bench_util.h"
#include "program.h"

using namespace quillon;
using namespace quillon::bench;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // for the program's QProcess
    double seconds = 30;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::stod(argv[++i]);

    test::ProgramFolder folder;
    folder.Write("quillon.ini", "COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nMIRROR=YES\r\nTIMEFRAMES=YES\r\nHEXFILE=YES\r\n");
    test::RunningQuillon quillon(folder);
    if (!quillon.WaitStarted()) {
        std::fprintf(stderr, "bench_idle: quillon did not start:\n%s\n", quillon.Output().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double cpuBefore = CpuSeconds(pid_t(quillon.Pid()));
    const long switchesBefore = ContextSwitches(quillon.Pid());
    Stopwatch w;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = CpuSeconds(pid_t(quillon.Pid())) - cpuBefore;
    const long switches = ContextSwitches(quillon.Pid()) - switchesBefore;
    const double elapsed = w.Seconds();
    const long rss = ResidentKilobytes(quillon.Pid());
    const bool running = quillon.Running();
    quillon.Stop();

    const double share = 100 * cpu / elapsed;
    std::printf(
        "idle: %.2f s of CPU in %.1f s: %.3f%% of a core; %.1f wake-ups a second; %s kB "
        "resident%s\n",
        cpu, elapsed, share, double(switches) / elapsed, Grouped(double(rss)).c_str(),
        running ? "" : "; the program ENDED during the measurement");
    char figure[80];
    std::snprintf(figure, sizeof figure, "%.2f%% of a core (%.1f wake-ups/s)", share, double(switches) / elapsed);
    Result("idle, " + Grouped(elapsed) + " s", figure, "< 0.5%", Verdict(share < 0.5 && running));
    return 0;
}
