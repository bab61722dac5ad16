// The status box in a long silence: the cost of one status timer tick (the
// lamps, the clock and the "sec since last packet" line, then the event
// loop's turn that scrolls and paints the shown window; the median of many)
// when the box holds one line and when it holds a day of them, 86,400.
//
//   bench_status [--lines N] [--measure M]   N defaults to 86400, M to 2000
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "bench_window.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// One tick a second later than the last, timed with the turn of the event
// loop behind it; microseconds.
double TimedTick(BenchWindow& window)
{
    window.clock.Advance(std::chrono::seconds(1));
    Stopwatch w;
    window.station->Tick();
    BenchWindow::Settle();
    return w.Seconds() * 1e6;
}

std::size_t BoxLines(BenchWindow& window) { return CountLines(window.window->Status().Text()); }

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::size_t day = 86400;
    std::size_t measure = 2000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--lines") == 0)
            day = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--measure") == 0)
            measure = std::stoul(argv[++i]);
    }
    BenchWindow window;
    StatusBox& box = window.window->Status();

    // One line in the box: emptied (as a receive event does) and one tick
    // before each timed one.
    // Medians: other programs on the machine disturb single runs.
    std::vector<double> smallTicks;
    for (std::size_t i = 0; i < measure; ++i) {
        box.Clear();
        window.clock.Advance(std::chrono::seconds(1));
        window.station->Tick();
        BenchWindow::Settle();
        smallTicks.push_back(TimedTick(window));
    }
    const double small = Median(smallTicks);
    const std::size_t smallLines = BoxLines(window) - 1;

    // A day of silence.
    box.Clear();
    Stopwatch fill;
    const long rssBefore = ResidentKilobytes();
    for (std::size_t line = 1; line <= day; ++line) {
        window.clock.Advance(std::chrono::seconds(1));
        window.station->Tick();
        if (line % 1000 == 0)
            BenchWindow::Settle();
    }
    BenchWindow::Settle();
    const double fillSeconds = fill.Seconds();
    const long rssAfter = ResidentKilobytes();
    const std::size_t bigLines = BoxLines(window);
    std::vector<double> bigTicks;
    for (std::size_t i = 0; i < measure; ++i)
        bigTicks.push_back(TimedTick(window));
    const double big = Median(bigTicks);

    std::printf(
        "status box: one tick with %zu line in the box %.1f us, with %s lines %.1f us; "
        "a day of ticks took %.1f s and %s kB (%.0f bytes a line)\n",
        smallLines, small, Grouped(double(bigLines)).c_str(), big, fillSeconds,
        Grouped(double(rssAfter - rssBefore)).c_str(), double(rssAfter - rssBefore) * 1024 / double(bigLines));
    char figure[120];
    std::snprintf(figure, sizeof figure, "%.0f / %.0f us (x%.2f)", small, big, big / small);
    Result("status box, one tick at 1 line / after a day of lines", figure, "<= x2", Verdict(big <= 2 * small));
    return 0;
}
