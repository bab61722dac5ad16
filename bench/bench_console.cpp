// The console under a growing history, in the shown main window:
// - the cost of one frame report (its AddReport, then a turn of the event
//   loop) with 1,000, 100,000 and 1,000,000 reports held; the console
//   scrolls and paints new text once a paint interval, and that painting is
//   measured below;
// - the memory each report keeps: the growth of the resident set over
//   100,000 reports, and what is given back by "Clear Counter";
// - painting the whole console window with a million reports held;
// - finding a callsign that occurs once among a million reports;
// - Select All and Copy of them all: too large for the clipboard, saved to a
//   file instead, a slice per turn of the event loop: the time, the longest
//   turn (the window's longest wait) and the resident memory on the way;
// - the console's text alone with a long history (a month and more at a frame
//   a second), in a process of its own so that neither part reuses the
//   other's memory: the resident memory it costs over an empty one, the time
//   to append the reports and to find the first one from the end.
//
//   bench_console [--reports N] [--measure M] [--history H]
//   N defaults to 1000000, M to 2000, H to 5000000 (0: no history part)
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench_util.h"
#include "bench_window.h"
#include "frames.h"
#include "text/console_text.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

// CPU time of this thread, in microseconds: what one report costs the
// program, whatever else the machine is doing.
double CpuMicros()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// Saves the whole console to `file`, as a user would answer.
class SaveAnswers : public ExportDialogs {
public:
    explicit SaveAnswers(QString file) : file_(std::move(file)) {}
    Choice AskWhatToSave(QWidget*, std::uint64_t, bool) override { return Choice::Selection; }
    QString AskFileName(QWidget*) override { return file_; }
    void Tell(QWidget*, const QString& message) override { told += message.toStdString(); }
    std::string told;

private:
    QString file_;
};

double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// `count` reports into the console's text alone, as the window adds them,
// the first behind a callsign that occurs nowhere else.
void History(std::size_t count)
{
    const auto reports = BenchWindow::Reports(test::ManyFrames(5000, 1));
    ConsoleText text;
    const long empty = ResidentKilobytes();
    const std::string first = "\rDL9XYZ-7>APRS:the first report\r";
    text.Append(first, colour::Green);
    Stopwatch appendWatch;
    for (std::size_t i = 0; i < count; ++i)
        for (const ConsoleRun& run : reports[i % reports.size()])
            text.Append(run.text, run.colour);
    const double append = appendWatch.Seconds();
    const long full = ResidentKilobytes();
    const double megabytes = double(full - empty) / 1024;
    std::printf(
        "console history: %s reports, %s characters in %s lines; %s kB resident empty, %s kB full; "
        "%s bytes held in memory, %s bytes in the file\n",
        Grouped(double(count)).c_str(), Grouped(double(text.Size())).c_str(), Grouped(double(text.LineCount())).c_str(),
        Grouped(double(empty)).c_str(), Grouped(double(full)).c_str(), Grouped(double(text.HeldBytes())).c_str(),
        Grouped(double(text.SpilledBytes())).c_str());

    Stopwatch findWatch;
    const auto found = text.Find("dl9xyz", text.End(), false);
    const double find = findWatch.Seconds();
    std::printf("  appending: %.1f s (%.2f us per report); finding the first report from the end: %.2f s (%s)\n",
                append, append * 1e6 / double(count), find,
                found == TextPosition(first.find("DL9XYZ")) ? "found" : "NOT FOUND");

    char figure[160];
    std::snprintf(figure, sizeof figure, "%.1f MB (%.1f MB in the file)", megabytes,
                  double(text.SpilledBytes()) / (1 << 20));
    Result("console history, memory of " + Grouped(double(count)) + " reports (RSS over empty)", figure, "< 64 MB",
           Verdict(megabytes < 64));
    std::snprintf(figure, sizeof figure, "%.1f s (%.2f us per report)", append, append * 1e6 / double(count));
    Result("console history, appending " + Grouped(double(count)) + " reports", figure, "(reported)", "-");
    std::snprintf(figure, sizeof figure, "%.2f s", find);
    Result("console history, finding the first report from the end", figure, "(reported)",
           found == TextPosition(first.find("DL9XYZ")) ? "-" : "MISSED");
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t most = 1000000;
    std::size_t measure = 2000;
    std::size_t history = 5000000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--reports") == 0)
            most = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--measure") == 0)
            measure = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--history") == 0)
            history = std::stoul(argv[++i]);
    }
    if (history > 0) {
        // Before Qt starts any thread of its own.
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child == 0) {
            History(history);
            std::fflush(stdout);
            std::_Exit(0);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "bench_console: the history part failed\n");
            return 1;
        }
    }
    QApplication app(argc, argv);
    std::vector<std::size_t> levels = {1000, 101000, most};
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());

    BenchWindow window;
    ConsoleArea& console = window.window->Console();
    // Different frames with payloads of up to 250 bytes, a quarter of them
    // any byte value: harder to pack than the text of ordinary APRS frames.
    const auto reports = window.Reports(test::ManyFrames(5000, 1));
    std::size_t lines = 0;
    for (const auto& report : reports)
        for (const auto& run : report)
            lines += std::size_t(std::count(run.text.begin(), run.text.end(), '\r'));
    std::printf(
        "console: %zu different frame reports, %.1f lines per report on average; window %dx%d, "
        "console %dx%d\n",
        reports.size(), double(lines) / double(reports.size()), window.window->width(), window.window->height(),
        console.width(), console.height());

    // The callsign to find stands once, in the middle of the history.
    std::size_t held = 0;
    const auto add = [&] {
        if (held == most / 2)
            window.window->History().AddText("\rDL9XYZ-7>APRS:only once\r", colour::Green);
        window.window->History().AddReport(reports[held++ % reports.size()]);
    };

    std::vector<double> costs;
    std::vector<long> rss;
    for (const std::size_t level : levels) {
        // Fill up to the level, letting the window catch up now and then.
        while (held < level) {
            add();
            if (held % 500 == 0)
                BenchWindow::Settle();
        }
        BenchWindow::Settle();
        rss.push_back(ResidentKilobytes());
        // One report, then one turn of the event loop, as at a frame a
        // second. Medians: other programs on the machine disturb single runs.
        std::vector<double> totals;
        for (std::size_t i = 0; i < measure; ++i) {
            const double start = CpuMicros();
            add();
            BenchWindow::Settle();
            totals.push_back(CpuMicros() - start);
        }
        costs.push_back(Median(totals));
        std::printf("  %9s reports held: %6.1f us CPU per report; %s kB resident; the text %s bytes\n",
                    Grouped(double(level)).c_str(), costs.back(), Grouped(double(rss.back())).c_str(),
                    Grouped(double(console.Text().HeldBytes())).c_str());
    }
    const double perReport = levels.size() > 1 ? double(rss[1] - rss[0]) * 1024.0 / double(levels[1] - levels[0]) : 0;

    // Painting the whole window, laid out from scratch, at the end and in
    // the middle of the history.
    std::vector<double> paints;
    for (int i = 0; i < 200; ++i) {
        if (i == 100)
            console.verticalScrollBar()->setValue(console.verticalScrollBar()->maximum() / 2);
        const double start = CpuMicros();
        console.viewport()->repaint();
        paints.push_back((CpuMicros() - start) / 1e3);
    }
    const double paint = Median(paints);

    // F3 from the end of the history goes round to the top and on.
    console.verticalScrollBar()->setValue(console.verticalScrollBar()->maximum());
    console.ShowFind();
    console.FindField()->setText(QStringLiteral("dl9xyz"));
    console.Select(console.Text().End(), console.Text().End());
    Stopwatch findWatch;
    const bool found = console.FindAgain(true);
    const double find = findWatch.Seconds();
    std::printf("  painting the window: %.2f ms; finding the one callsign: %.3f s (%s); %s lines held\n", paint, find,
                found ? console.SelectedText().toStdString().c_str() : "not found",
                Grouped(double(console.Text().LineCount())).c_str());

    // Select All and Copy: saved, not copied.
    QTemporaryDir saveDir;
    const QString saved = saveDir.filePath(QStringLiteral("console.txt"));
    auto answers = std::make_unique<SaveAnswers>(saved);
    SaveAnswers& told = *answers;
    console.SetExportDialogs(std::move(answers));
    BenchWindow::Settle();
    const long beforeSave = ResidentKilobytes();
    long mostDuringSave = beforeSave;
    double longestTurn = 0;
    Stopwatch saveWatch;
    console.SelectAll();
    console.Copy();
    while (console.Saving()) {
        Stopwatch turn;
        BenchWindow::Settle();
        longestTurn = std::max(longestTurn, turn.Seconds());
        mostDuringSave = std::max(mostDuringSave, ResidentKilobytes());
    }
    const double save = saveWatch.Seconds();
    const double savedMegabytes = double(QFile(saved).size()) / 1e6;
    std::printf(
        "  Select All + Copy: %.1f MB saved to a file in %.2f s, the longest turn of the event loop %.1f ms, "
        "%s kB resident before, at most %s kB on the way%s\n",
        savedMegabytes, save, longestTurn * 1e3, Grouped(double(beforeSave)).c_str(),
        Grouped(double(mostDuringSave)).c_str(), told.told.empty() ? "" : (" (" + told.told + ")").c_str());
    QFile::remove(saved);

    const long beforeClear = ResidentKilobytes();
    window.window->findChild<QAction*>(QStringLiteral("clearAction"))->trigger();
    BenchWindow::Settle();
    const long afterClear = ResidentKilobytes();
    std::printf("  Clear Counter: %s kB resident before, %s kB after\n", Grouped(double(beforeClear)).c_str(),
                Grouped(double(afterClear)).c_str());

    const double ratio = costs.back() / costs.front();
    char figure[160];
    std::snprintf(figure, sizeof figure, "%.0f / %.0f / %.0f us (x%.2f)", costs.front(),
                  costs.size() > 2 ? costs[1] : 0.0, costs.back(), ratio);
    Result("console, one report at 1k / 101k / " + Grouped(double(most)) + " held", figure, "<= x1.3",
           Verdict(ratio <= 1.3));
    std::snprintf(figure, sizeof figure, "%.0f bytes (%.1f MB a day at 1 frame/s)", perReport, perReport * 86400 / 1e6);
    Result("console, memory per report (RSS over 100k)", figure, "<= 400 bytes", Verdict(perReport <= 400));
    std::snprintf(figure, sizeof figure, "%.2f ms", paint);
    Result("console, painting the window at " + Grouped(double(most)) + " held", figure, "<= 2 ms",
           Verdict(paint <= 2));
    std::snprintf(figure, sizeof figure, "%.3f s", find);
    Result("console, finding a callsign once in " + Grouped(double(most)), figure, "<= 1 s",
           Verdict(found && find <= 1));
    std::snprintf(figure, sizeof figure, "%.2f s for %.0f MB, longest turn %.1f ms, %+.1f MB", save, savedMegabytes,
                  longestTurn * 1e3, double(mostDuringSave - beforeSave) / 1024);
    Result("console, Select All + Copy of " + Grouped(double(most)) + " saved to a file", figure,
           "turn <= 50 ms, <= +20 MB",
           Verdict(savedMegabytes > 0 && longestTurn <= 0.05 && mostDuringSave - beforeSave <= 20 * 1024));
    std::snprintf(figure, sizeof figure, "%s of %s kB given back", Grouped(double(beforeClear - afterClear)).c_str(),
                  Grouped(double(beforeClear)).c_str());
    Result("console, Clear Counter", figure, "(reported)", "-");
    return 0;
}
