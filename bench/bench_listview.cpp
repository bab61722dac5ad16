// The packet list in the shown main window:
// - the window with the console shown, then with the list shown, under
//   60,000 frames a second for a few seconds (each frame's report into the console's history and the list, as
//   the window takes the station's reports, the event loop run between
//   them): how often the view paints, the frames it took in, and the CPU
//   the process spent;
// - the memory of 1,000,000 frames, each in a process of its own so that
//   neither reuses the other's memory: the console's history alone, and the
//   console's history with the packet list (its store and its model); the
//   growth of the resident set over the empty process in each, and the
//   store's own account of its bytes;
// - with the list's rows of that run held: a page up the table, and a row
//   chosen, each with its paint.
//
//   bench_listview [--frames N] [--rate R] [--seconds S]
//   N defaults to 1000000, R to 60000, S to 5
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "bench_window.h"
#include "decoder/frame_report.h"
#include "frames.h"
#include "packet_list.h"
#include "packets/packet_store.h"
#include "text/console_document.h"

using namespace quillon;
using namespace quillon::bench;
using namespace std::chrono;

namespace {

// The reports as the window gets them (APRS=YES), stamped a millisecond
// apart: the sample traffic's APRS frames among many different frames with
// payloads of up to 250 bytes, a quarter of them any byte value (harder to
// pack than APRS text).
std::vector<FrameReport> SampleReports()
{
    std::vector<FrameReport> reports;
    system_clock::time_point t = sys_days{2026y / 12 / 7} + 12h;
    std::vector<std::string> frames = test::ManyFrames(5000, 1);
    const std::vector<std::string> sample = SampleFrames();
    for (std::size_t i = 0; i < frames.size(); i += 10)
        frames[i] = sample[i / 10 % sample.size()];
    for (const std::string& kiss : frames) {
        ReceiveState rx;
        std::copy(kiss.begin(), kiss.end(), rx.RawFrame.begin() + 1);
        rx.RawFrameLength = std::int16_t(kiss.size());
        reports.push_back(ReportFrame(rx, true, {.aprs = true}, FixedClock(t += 1ms)));
    }
    return reports;
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    long paints = 0;
};

// With the rows of the run held: a page up the table, painted, and a row
// chosen (its report made and shown under the table), painted; medians of
// many, in milliseconds of wall time.
void Browse(PacketListPane& list)
{
    QTableView& table = list.Table();
    std::vector<double> pages, choices;
    for (int i = 0; i < 200; ++i) {
        Stopwatch page;
        table.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
        table.viewport()->repaint();
        pages.push_back(page.Seconds() * 1e3);
        Stopwatch choice;
        table.selectRow(table.rowAt(table.viewport()->height() / 2));
        list.Report().viewport()->repaint();
        choices.push_back(choice.Seconds() * 1e3);
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    std::printf("  with %d rows: a page up and its paint %.2f ms, a row chosen and its report shown %.2f ms\n",
                list.Model().rowCount(), median(pages), median(choices));
    char figure[120];
    std::snprintf(figure, sizeof figure, "%.2f ms a page, %.2f ms a row chosen", median(pages), median(choices));
    Result("list, browsing " + Grouped(double(list.Model().rowCount())) + " rows", figure, "(reported)", "-");
}

void PaintRate(const std::vector<FrameReport>& reports, double rate, double seconds, bool listShown)
{
    BenchWindow window;
    MainWindow& main = *window.window;
    PacketListPane& list = main.List();
    PaintCounter counter;
    if (listShown) {
        main.Views().ShowList();
        list.Table().viewport()->installEventFilter(&counter);
    } else {
        main.Console().viewport()->installEventFilter(&counter);
    }
    const std::string view = listShown ? "list shown" : "console shown";
    BenchWindow::Settle();

    // Every millisecond the frames due by then, as a busy TNC link brings
    // them; the event loop waits in between, so the CPU is the window's work.
    std::size_t sent = 0;
    Stopwatch watch;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    feed.setInterval(1);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        for (const auto due = std::size_t(watch.Seconds() * rate); sent < due; ++sent) {
            const FrameReport& report = reports[sent % reports.size()];
            main.History().AddReport(report.console);
            list.Add(report);
        }
    });
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    const double cpuBefore = CpuSeconds();
    const long paintsBefore = counter.paints;
    watch.Restart();
    feed.start();
    loop.exec();
    feed.stop();
    const double wall = watch.Seconds();
    const double cpu = CpuSeconds() - cpuBefore;
    const long paints = counter.paints - paintsBefore;
    const double paintRate = double(paints) / wall;
    list.CatchUp();
    const QScrollBar* v = list.Table().verticalScrollBar();
    std::printf(
        "%s, %s frames/s asked for %.1f s: %s frames taken in (%s frames/s), %ld paints of the view "
        "(%.1f a second), CPU %.2f s (%.0f %% of one core, %.2f us a frame); %d rows, %s\n",
        view.c_str(), Grouped(rate).c_str(), wall, Grouped(double(sent)).c_str(), Grouped(double(sent) / wall).c_str(),
        paints, paintRate, cpu, 100 * cpu / wall, 1e6 * cpu / double(sent), list.Model().rowCount(),
        !listShown || v->value() == v->maximum() ? "at the newest row" : "NOT at the newest row");
    char figure[120];
    std::snprintf(figure, sizeof figure, "%.1f paints/s (%s frames/s taken in)", paintRate,
                  Grouped(double(sent) / wall).c_str());
    Result(view + ", paints under " + Grouped(rate) + " frames/s", figure, "<= 30/s",
           Verdict(paintRate <= 31 && double(sent) >= 0.95 * rate * wall));
    std::snprintf(figure, sizeof figure, "%.0f %% of one core (%.2f us a frame)", 100 * cpu / wall,
                  1e6 * cpu / double(sent));
    Result(view + ", window CPU under " + Grouped(rate) + " frames/s", figure, "(reported)", "-");
    if (listShown)
        Browse(list);
}

// In a process of its own: the growth of the resident set from `count`
// reports into the console's history, and into the list too when `list`.
int Memory(const std::vector<FrameReport>& reports, std::size_t count, bool list)
{
    const long empty = ResidentKilobytes();
    ConsoleDocument history;
    std::unique_ptr<PacketStore> store;
    std::unique_ptr<PacketListModel> model;
    if (list) {
        store = std::make_unique<PacketStore>();
        model = std::make_unique<PacketListModel>(*store);
    }
    Stopwatch watch;
    for (std::size_t i = 0; i < count; ++i) {
        const FrameReport& report = reports[i % reports.size()];
        history.AddReport(report.console);
        if (list) {
            ReceiveState rx;
            std::copy(report.frame.begin(), report.frame.end(), rx.RawFrame.begin() + 1);
            rx.RawFrameLength = std::int16_t(report.frame.size());
            store->Append(rx, report.time + milliseconds(i), report.decoded ? &*report.decoded : nullptr);
            if (i % 2000 == 0)
                model->Refresh();  // as the shown table does
        }
    }
    if (list)
        model->Refresh();
    const long full = ResidentKilobytes();
    std::printf("  %s: %s frames in %.1f s, %s kB resident over the empty process",
                list ? "console and list" : "console alone", Grouped(double(count)).c_str(), watch.Seconds(),
                Grouped(double(full - empty)).c_str());
    if (list)
        std::printf("; the store holds %s rows in %s bytes (%s rows forgotten), the model %d rows",
                    Grouped(double(store->Size())).c_str(), Grouped(double(store->HeldBytes())).c_str(),
                    Grouped(double(store->Dropped())).c_str(), model->rowCount());
    std::printf("\n");
    std::fflush(stdout);
    return int(std::min<long>((full - empty) / 1024, 250));  // MB, through the exit status
}

// Runs Memory in a child; its figure in MB, or -1.
int MemoryInChild(const std::vector<FrameReport>& reports, std::size_t count, bool list)
{
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0)
        std::_Exit(Memory(reports, count, list));
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t frames = 1000000;
    double rate = 60000;
    double seconds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::stod(argv[++i]);
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::stod(argv[++i]);
    }
    // Before Qt starts any thread of its own.
    const std::vector<FrameReport> reports = SampleReports();
    std::printf("list: %zu different sample frames\n", reports.size());
    const int console = MemoryInChild(reports, frames, false);
    const int both = MemoryInChild(reports, frames, true);
    char figure[120];
    std::snprintf(figure, sizeof figure, "%d MB more than the console alone (%d MB against %d MB)", both - console,
                  both, console);
    Result("list, memory of " + Grouped(double(frames)) + " frames (RSS)",
           console >= 0 && both >= 0 ? figure : "failed", "<= 100 MB more",
           Verdict(console >= 0 && both >= 0 && both - console <= 100));

    QApplication app(argc, argv);
    PaintRate(reports, rate, seconds, false);
    PaintRate(reports, rate, seconds, true);
    return 0;
}
