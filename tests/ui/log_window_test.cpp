// Old raw logs opened from the main window's File menu, in-process and
// offscreen: the main window's station in a throw-away program folder whose
// COM1 and COM2 link to pseudo-terminals, the logs written into the same
// folder.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

#include "fakes.h"
#include "frames.h"
#include "log_window.h"
#include "main_window.h"
#include "program.h"
#include "raw_log.h"
#include "station_folder.h"
#include "text_areas.h"

namespace quillon::test {
namespace {

struct Window : StationFolder {
    explicit Window(const std::string& ini = "")
        : StationFolder(ini), station(MakeStation()), window(std::make_unique<MainWindow>(*station))
    {
        station->Start();
    }
    ~Window()
    {
        // Found first: a log window takes its heard list, a window too, with it.
        for (LogWindow* top : LogWindows())
            delete top;
    }
    // The log `name` of this folder opened through "Open log…" and its file dialog.
    LogWindow* OpenThroughTheMenu(const char* name)
    {
        window->findChild<QAction*>(QStringLiteral("openLogAction"))->trigger();
        auto* dialog = window->findChild<QFileDialog*>(QStringLiteral("openLogDialog"));
        if (dialog == nullptr)
            return nullptr;
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Raw KISS logs (*.kss)")});
        const int before = int(LogWindows().size());
        dialog->selectFile(dir.filePath(QString::fromLatin1(name)));
        static_cast<QDialog*>(dialog)->accept();  // as its Open button does
        const auto windows = LogWindows();
        return int(windows.size()) == before + 1 ? windows.back() : nullptr;
    }
    static std::vector<LogWindow*> LogWindows()
    {
        std::vector<LogWindow*> found;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* w = qobject_cast<LogWindow*>(top))
                found.push_back(w);
        return found;
    }

    std::unique_ptr<Station> station;
    std::unique_ptr<MainWindow> window;
};

// Runs the event loop, as the program does, until `done` holds or `limit`
// has passed; whether it holds.
template <class Condition>
bool RunUntil(Condition done, std::chrono::milliseconds limit)
{
    QEventLoop loop;
    QTimer check, guard;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.quit(); });
    check.start(5);
    guard.setSingleShot(true);
    guard.start(int(limit.count()));
    if (!done())
        loop.exec();
    return done();
}

// The console's text for a raw log read back through the receive pipeline,
// frames without a time frame stamped by `clock`.
QString ReportsOf(const std::string& log, bool decode, const Clock& clock)
{
    struct Collect final : ReceiveSink {
        std::string text;
        void Report(const FrameReport& r) override
        {
            for (const ConsoleRun& run : r.console)
                text += run.text;
        }
    } sink;
    Receiver receiver(clock, {.report = {}, .decode = decode, .buildReports = true, .readLogTimes = true});
    receiver.Feed(log, sink);
    return ToDisplayText(sink.text);
}

std::vector<std::string> Lines(const QString& text)
{
    std::vector<std::string> out;
    for (const QString& line : text.split('\n'))
        out.push_back(line.toStdString());
    return out;
}

const std::string kFrame = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "Hi\r"});

// A log as the program writes it with time frames, some bytes between frames
// that the assembler drops, and a last frame without its time frame (stamped
// with the present time, the station's clock here): the window shows exactly
// what the receive pipeline reports for it, decoded or raw as the main
// window's switch stood. It logs nothing, counts nothing for the station,
// and hands every report on.
TEST(LogWindow, ShowsWhatThePipelineReportsForTheLogDecodedOrRawAsTheSwitchStood)
{
    for (const bool decode : {true, false}) {
        SCOPED_TRACE(decode ? "decoded" : "raw");
        Window w("TIMEFRAMES=YES\r\n");
        const std::string log = RawLogOf(ManyFrames(300, 7), 300, At(9h + 1s + 250ms)) + "noise" +
                                Kiss({{"BEACON"}, {"DL1ABC", 1}, {{"WIDE1", 1}}, 3, 0xF0, "untimed"});
        WriteFile(w.File("old.kss"), log);
        w.window->findChild<QCheckBox*>(QStringLiteral("decodeSwitch"))->setChecked(decode);
        LogWindow* shown = w.OpenThroughTheMenu("old.kss");
        ASSERT_NE(shown, nullptr);
        std::uint64_t handedOn = 0;
        shown->SetReportHandler([&](const FrameReport&) { ++handedOn; });
        w.window->findChild<QCheckBox*>(QStringLiteral("decodeSwitch"))->setChecked(!decode);  // too late to matter
        ASSERT_TRUE(RunUntil([&] { return shown->Done(); }, 60s));

        EXPECT_EQ(Lines(shown->Console().PlainText()), Lines(ReportsOf(log, decode, w.clock)));
        EXPECT_EQ(shown->StatusText().toStdString() + ", " + std::to_string(handedOn), "301 frames, 301");
        // The log's own heard list, stamped with the log's times: the
        // untimed last frame's station only when decoded.
        shown->HeardListButton().click();
        ASSERT_TRUE(shown->Heard().isVisible());
        const HeardList& heard = shown->Heard().List();
        const auto beacon = heard.RowOf("DL1ABC-1");
        EXPECT_EQ(beacon.has_value(), decode);
        EXPECT_EQ(heard.Size() > 1, decode);
        EXPECT_EQ(shown->Heard().Rows().rowCount(), int(heard.Size()));
        EXPECT_TRUE(!decode || heard.At(*beacon).lastHeard == w.clock.Now());
        EXPECT_TRUE(shown->windowTitle().startsWith(QStringLiteral("old.kss ")));
        EXPECT_EQ(w.station->Counts().BytesReceived + std::uint64_t(w.station->Counts().FrameCount), 0u);
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(w.dir.path().toStdString()))
            if (entry.is_regular_file() && entry.file_size() > 0)
                files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, (std::vector<std::string>{"old.kss", "quillon.ini"}));  // the station's logs still empty
    }
}

// A file that cannot be opened is refused with the reason and no window; a
// log that holds no frame opens and says so.
TEST(LogWindow, RefusesAFileItCannotOpenAndSaysWhenALogHoldsNoFrame)
{
    struct Case {
        const char* name;
        std::string content;  // what the file holds; "folder" makes a folder
        bool write;
        const char* expected;  // in the message box, or the window's status
    };
    const Case cases[] = {
        {"missing.kss", "", false, "No such file or directory"},
        {"folder.kss", "folder", false, "Is a directory"},
        {"empty.kss", "", true, "No frames in this log"},
        {"times-only.kss", RawLogOf({""}, 3, At(10h)) + "\xC0\xC0 stray bytes", true, "No frames in this log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Window w;
        if (c.content == "folder")
            QDir(w.dir.path()).mkdir(QString::fromLatin1(c.name));
        if (c.write)
            WriteFile(w.File(c.name), c.content);
        LogWindow* opened = w.window->OpenLogFile(w.dir.filePath(QString::fromLatin1(c.name)));
        auto* refusal = w.window->findChild<QMessageBox*>(QStringLiteral("openLogFailure"));
        if (!c.write) {
            EXPECT_EQ(opened, nullptr);
            EXPECT_TRUE(Window::LogWindows().empty());
            ASSERT_NE(refusal, nullptr);
            EXPECT_TRUE(refusal->text().contains(QString::fromLatin1(c.name))) << refusal->text().toStdString();
            EXPECT_TRUE(refusal->text().endsWith(QString::fromLatin1(c.expected))) << refusal->text().toStdString();
            refusal->close();
            continue;
        }
        EXPECT_EQ(refusal, nullptr);
        ASSERT_NE(opened, nullptr);
        ASSERT_TRUE(RunUntil([&] { return opened->Done(); }, 30s));
        EXPECT_EQ(opened->StatusText().toStdString(), c.expected);
        EXPECT_EQ(opened->Console().Text().Size(), 0u);
    }
}

// A million frames (about 100 MB) open on the event loop: a 50 ms timer
// keeps firing all the way, and the station takes a frame from the TNC,
// logs and shows it while the log is still being read.
TEST(LogWindow, AMillionFramesOpenWhileTheWindowsAndTheStationGoOn)
{
    constexpr std::size_t kFrames = 1000000;
    Window w;
    WriteFile(w.File("million.kss"), RawLogOf(ManyFrames(997, 3), kFrames, At(0h)));
    QElapsedTimer clock;
    clock.start();
    LogWindow* shown = w.window->OpenLogFile(w.File("million.kss").c_str());
    ASSERT_NE(shown, nullptr);

    qint64 lastTick = 0, longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticks.start(50);

    ASSERT_TRUE(RunUntil([&] { return shown->FramesRead() > 0; }, 60s));
    ASSERT_TRUE(w.com1.WriteAll(kFrame));
    ASSERT_TRUE(RunUntil([&] { return w.station->Counts().FrameCount == 1; }, 60s));
    const std::uint64_t readWhenTheFrameCame = shown->FramesRead();
    EXPECT_FALSE(shown->Done());
    EXPECT_NE(shown->StatusText().toStdString().find(" frames so far"), std::string::npos);
    // The user scrolls to the top: the view stays there and counts the reports that come below.
    shown->Console().verticalScrollBar()->setValue(0);
    const std::uint64_t readWhenScrolled = shown->FramesRead();
    ASSERT_TRUE(RunUntil([&] { return shown->Done(); }, 300s));
    ticks.stop();
    const qint64 openTime = clock.elapsed();

    std::printf("[ figures  ] %zu frames open in %.2f s; the longest gap between 50 ms ticks %lld ms; "
                "the station's frame came at frame %llu of the log\n",
                kFrames, double(openTime) / 1000.0, static_cast<long long>(longestGap),
                static_cast<unsigned long long>(readWhenTheFrameCame));
    EXPECT_LT(readWhenTheFrameCame, kFrames);
    EXPECT_EQ(shown->StatusText().toStdString(), "1000000 frames");
    EXPECT_LT(longestGap, 500);
    EXPECT_EQ(shown->Console().UnseenReports(), kFrames - readWhenScrolled);
    EXPECT_EQ(shown->Console().FirstLineShown(), 0u);
    EXPECT_EQ(w.Log("kss"), kFrame);
    EXPECT_TRUE(w.window->Console().PlainText().contains(QStringLiteral("from N0CALL-7 to APRS")));
    // The last frame of the log, stamped 999,999 ms after the first, is there.
    EXPECT_NE(shown->Console().Text().Find("2013-07-28 00:16:39.999 UTC", 0, true), std::nullopt);
}

// True while some descriptor of this process has `path` open.
bool HeldOpen(const std::string& path)
{
    const auto target = std::filesystem::canonical(path);
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error) == target)
            return true;
    }
    return false;
}

// Closing the window half-way stops the reading: the window goes, and with
// it the open file.
TEST(LogWindow, ClosingItHalfWayStopsTheReading)
{
    Window w;
    const std::string path = w.File("long.kss");
    WriteFile(path, RawLogOf(ManyFrames(101, 4), 400000, At(0h)));
    LogWindow* shown = w.window->OpenLogFile(QString::fromStdString(path));
    ASSERT_NE(shown, nullptr);
    const QPointer<LogWindow> there(shown);
    std::uint64_t handedOn = 0;
    shown->SetReportHandler([&](const FrameReport&) { ++handedOn; });
    ASSERT_TRUE(RunUntil([&] { return handedOn > 0; }, 60s));
    EXPECT_TRUE(HeldOpen(path));
    shown->close();
    const std::uint64_t atClose = handedOn;
    EXPECT_LT(atClose, 400000u);
    EXPECT_FALSE(HeldOpen(path));
    // As the program's own event loop does when it next runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(there.isNull());
    QCoreApplication::processEvents();
    EXPECT_EQ(handedOn, atClose);
}

}  // namespace
}  // namespace quillon::test
