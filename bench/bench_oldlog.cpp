// An old raw log of a million frames opened from the main window ("Open
// log…"), shown, on the event loop as the program runs it:
// - the time until the whole log is in the log window's console;
// - the growth of the resident set over the open (the log window's console
//   history) and what closing the window gives back;
// - the longest gap between the ticks of a 50 ms timer while the log opens:
//   how responsive the windows stay.
//
//   bench_oldlog [--frames N]   N defaults to 1000000
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_util.h"
#include "bench_window.h"
#include "fakes.h"
#include "frames.h"
#include "log_window.h"
#include "program.h"
#include "raw_log.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

// The first figure of /proc/loadavg: how busy the machine was.
std::string LoadAverage()
{
    const std::string text = test::ReadFile("/proc/loadavg");
    return text.substr(0, text.find(' '));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::size_t frames = 1000000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::stoul(argv[++i]);

    BenchWindow window;
    // Different frames with payloads of up to 250 bytes, each behind its time
    // frame, as the program logs them with TIMEFRAMES=YES.
    QTemporaryDir work;
    const std::string path = work.filePath(QStringLiteral("old.kss")).toStdString();
    std::uintmax_t bytes = 0;
    {
        const std::string log = test::RawLogOf(test::ManyFrames(5000, 1), frames, test::At(std::chrono::hours(0)));
        test::WriteFile(path, log);
        bytes = log.size();
    }
    BenchWindow::Settle();
    const long before = ResidentKilobytes();

    const double cpuBefore = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticks.start(50);
    QPointer<LogWindow> shown(window.window->OpenLogFile(QString::fromStdString(path)));
    if (shown.isNull()) {
        std::fprintf(stderr, "bench_oldlog: the log did not open\n");
        return 1;
    }
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        const LogWindow* open = shown.data();
        if (open == nullptr || open->Done())
            loop.quit();
    });
    check.start(5);
    loop.exec();
    const double seconds = double(clock.elapsed()) / 1000.0;
    const double cpu = CpuSeconds() - cpuBefore;
    ticks.stop();
    BenchWindow::Settle();
    const long after = ResidentKilobytes();
    const std::uint64_t read = shown->FramesRead();
    const std::size_t held = shown->Console().Text().HeldBytes();
    shown->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const long closed = ResidentKilobytes();

    std::printf(
        "old log: %s frames in a %s-byte raw log; %s reported in %.2f s (%s frames/s), %.2f s CPU "
        "(load average %s)\n",
        Grouped(double(frames)).c_str(), Grouped(double(bytes)).c_str(), Grouped(double(read)).c_str(), seconds,
        Grouped(double(read) / seconds).c_str(), cpu, LoadAverage().c_str());
    std::printf("  resident: %s kB before, %s kB when open (the console text %s bytes), %s kB after closing\n",
                Grouped(double(before)).c_str(), Grouped(double(after)).c_str(), Grouped(double(held)).c_str(),
                Grouped(double(closed)).c_str());
    std::printf("  the longest gap between the ticks of a 50 ms timer: %lld ms\n", static_cast<long long>(longestGap));

    char figure[160];
    std::snprintf(figure, sizeof figure, "%.2f s, %.2f s CPU (%s frames)", seconds, cpu, Grouped(double(read)).c_str());
    Result("old log, opening " + Grouped(double(frames)) + " frames", figure, "< 15 s",
           Verdict(read == frames && seconds < 15));
    std::snprintf(figure, sizeof figure, "%.1f MB (%.0f bytes a frame)", double(after - before) / 1024.0,
                  double(after - before) * 1024.0 / double(frames));
    Result("old log, resident growth when open", figure, "(reported)", "-");
    std::snprintf(figure, sizeof figure, "%lld ms", static_cast<long long>(longestGap));
    Result("old log, longest gap of a 50 ms timer while opening", figure, "< 500 ms", Verdict(longestGap < 500));
    return 0;
}
