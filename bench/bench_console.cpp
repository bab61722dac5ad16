// The console under a growing history: the cost of one frame report (the
// console's AddText calls of one frame, then the event loop's turn that
// scrolls and paints the shown window) when the console already holds 1,000,
// 50,000 and 200,000 reports, and the memory that each report keeps.
//
//   bench_console [--reports N] [--measure M]   N defaults to 200000, M to 2000
#include <QScrollBar>
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

// Medians, in microseconds.
struct Cost {
    double insertMicros;  // AddRuns
    double paintMicros;   // the event loop's turn behind it
    double totalMicros;
    double Total() const { return totalMicros; }
};

double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::size_t most = 200000;
    std::size_t measure = 2000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--reports") == 0)
            most = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--measure") == 0)
            measure = std::stoul(argv[++i]);
    }
    std::vector<std::size_t> levels = {1000, 50000, 200000};
    levels.erase(std::remove_if(levels.begin(), levels.end(), [&](std::size_t l) { return l > most; }),
                 levels.end());

    BenchWindow window;
    ConsoleArea& console = *window.form->RichTextBox1;
    const auto reports = window.Reports(SampleFrames());
    std::size_t lines = 0;
    for (const auto& report : reports)
        for (const auto& run : report)
            lines += std::size_t(std::count(run.text.begin(), run.text.end(), '\r'));
    std::printf("console: %zu different frame reports, %.1f lines per report on average; window %dx%d, "
                "console %dx%d\n",
                reports.size(), double(lines) / double(reports.size()), window.form->width(),
                window.form->height(), console.width(), console.height());

    std::size_t held = 0;
    const auto add = [&] { console.AddRuns(reports[held++ % reports.size()]); };

    std::vector<Cost> costs;
    long rssAtFirst = 0;
    std::size_t heldAtFirst = 0;
    Stopwatch total;
    for (const std::size_t level : levels) {
        // Fill up to the level, letting the window catch up now and then.
        while (held < level) {
            add();
            if (held % 500 == 0)
                BenchWindow::Settle();
        }
        BenchWindow::Settle();
        if (costs.empty()) {
            rssAtFirst = ResidentKilobytes();
            heldAtFirst = held;
        }
        // One report, then one turn of the event loop, as at a frame a
        // second. Medians: other programs on the machine disturb single runs.
        std::vector<double> inserts, paints, totals;
        for (std::size_t i = 0; i < measure; ++i) {
            Stopwatch w;
            add();
            const double insert = w.Seconds() * 1e6;
            w.Restart();
            BenchWindow::Settle();
            const double paint = w.Seconds() * 1e6;
            inserts.push_back(insert);
            paints.push_back(paint);
            totals.push_back(insert + paint);
        }
        costs.push_back({Median(inserts), Median(paints), Median(totals)});
        const QScrollBar* bar = console.verticalScrollBar();
        std::printf("  %7zu reports held: %7.1f us per report (%.1f us adding the text, %.1f us "
                    "scrolling and painting); scroll bar at %d of %d\n",
                    level, costs.back().Total(), costs.back().insertMicros, costs.back().paintMicros,
                    bar->value(), bar->maximum());
    }
    const long rssAtLast = ResidentKilobytes();
    const double perReport = double(rssAtLast - rssAtFirst) * 1024.0 / double(held - heldAtFirst);
    std::printf("  memory: %s kB resident with %zu reports, %.0f bytes per report; %s blocks in the "
                "document\n",
                Grouped(double(rssAtLast)).c_str(), held, perReport,
                Grouped(double(console.document()->blockCount())).c_str());

    // A busy channel: many frames per receive event, their reports inserted
    // as one batch, as the receive path does; the same turn of the event loop.
    std::vector<double> batched;
    for (std::size_t i = 0; i < measure / 10; ++i) {
        Stopwatch w;
        {
            const ConsoleArea::Batch batch(console);
            for (int r = 0; r < 50; ++r)
                add();
        }
        BenchWindow::Settle();
        batched.push_back(w.Seconds() * 1e6 / 50);
    }
    const double batchedCost = Median(batched);
    std::printf("  %7zu reports held, 50 reports per receive event: %.1f us per report\n", held, batchedCost);

    // Where the memory goes: the same reports in a console that is never
    // shown, so that no line is ever laid out.
    const long rssBeforeHidden = ResidentKilobytes();
    const std::size_t hiddenReports = std::min<std::size_t>(most, 100000);
    {
        ConsoleArea hidden;
        for (std::size_t i = 0; i < hiddenReports; ++i)
            hidden.AddRuns(reports[i % reports.size()]);
        const double hiddenPerReport =
            double(ResidentKilobytes() - rssBeforeHidden) * 1024.0 / double(hiddenReports);
        std::printf("  memory of the text alone (a console never shown, no line laid out): %.0f bytes "
                    "per report; %.0f s in all\n",
                    hiddenPerReport, total.Seconds());
    }

    const double ratio = costs.back().Total() / costs.front().Total();
    char figure[160];
    std::snprintf(figure, sizeof figure, "%.0f / %.0f / %.0f us (x%.2f)", costs.front().Total(),
                  costs.size() > 1 ? costs[1].Total() : 0.0, costs.back().Total(), ratio);
    Result("console, one report at 1k / 50k / 200k held", figure, "<= x1.3", Verdict(ratio <= 1.3));
    std::snprintf(figure, sizeof figure, "%.0f bytes (%.0f MB a day at 1 frame/s)", perReport,
                  perReport * 86400 / 1e6);
    Result("console, memory per report", figure, "(reported)", "-");
    return 0;
}
