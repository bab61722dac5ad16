// Old raw logs opened from the main window's File menu, in-process and offscreen.
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "frames.h"
#include "program.h"
#include "raw_log.h"
#include "text_areas.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

// The console's text for a raw log read back through the receive pipeline.
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

// A log with noise and an untimed last frame (stamped with the station's clock): the window shows what
// the pipeline reports for it, decoded or raw as the switch stood, and logs and counts nothing.
TEST(LogWindow, ShowsWhatThePipelineReportsForTheLogDecodedOrRawAsTheSwitchStood)
{
    for (const bool decode : {true, false}) {
        SCOPED_TRACE(decode ? "decoded" : "raw");
        Window w("TIMEFRAMES=YES\r\n");
        const std::string log = RawLogOf(ManyFrames(300, 7), 300, At(9h + 1s + 250ms)) + "noise" +
                                Kiss({{"BEACON"}, {"DL1ABC", 1}, {{"WIDE1", 1}}, 3, 0xF0, "untimed"});
        WriteFile(w.File("old.kss"), log);
        w.Find<QCheckBox>("decodeSwitch")->setChecked(decode);
        w.Trigger("openLogAction");
        auto* dialog = w.Find<QFileDialog>("openLogDialog");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(w.dir.path()).canonicalPath());
        dialog->selectFile(w.File("old.kss").c_str());
        static_cast<QDialog*>(dialog)->accept();  // as its Open button does
        ASSERT_EQ(Window::LogWindows().size(), 1u);
        LogWindow* shown = Window::LogWindows().back();
        std::uint64_t handedOn = 0;
        shown->SetReportHandler([&](const FrameReport&) { ++handedOn; });
        w.Find<QCheckBox>("decodeSwitch")->setChecked(!decode);  // too late to matter
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown->Done(); }, 60000));

        EXPECT_TRUE(shown->Console().PlainText() == ReportsOf(log, decode, w.clock));
        EXPECT_EQ(shown->StatusText().toStdString() + ", " + std::to_string(handedOn), "301 frames, 301");
        // The log's own heard list: the untimed last frame's station only when decoded.
        shown->HeardListButton().click();
        ASSERT_TRUE(shown->Heard().isVisible());
        const HeardList& heard = shown->Heard().List();
        const auto beacon = heard.RowOf("DL1ABC-1");
        EXPECT_EQ(beacon.has_value(), decode);
        EXPECT_EQ(shown->Heard().Rows().rowCount(), int(heard.Size()));
        EXPECT_TRUE(!decode || heard.At(*beacon).lastHeard == w.clock.Now());
        EXPECT_EQ(w.station->Counts().BytesReceived + std::uint64_t(w.station->Counts().FrameCount), 0u);
        EXPECT_EQ(w.Log("kss") + w.Log("dump"), "");
    }
}

// A file that cannot be opened (or read: a folder) is refused with the reason and no window; a log
// that holds no frame opens and says so.
TEST(LogWindow, RefusesAFileItCannotOpenAndSaysWhenALogHoldsNoFrame)
{
    const std::tuple<const char*, const char*> cases[] = {
        {"missing.kss", "No such file or directory"}, {"folder.kss", "Is a directory"}, {"times.kss", ""}};
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        Window w;
        QDir(w.dir.path()).mkdir(QStringLiteral("folder.kss"));
        WriteFile(w.File("times.kss"), RawLogOf({""}, 3, At(10h)) + "\xC0\xC0 stray bytes");
        LogWindow* opened = w.window->OpenLogFile(w.dir.filePath(QString::fromLatin1(name)));
        auto* refusal = w.Find<QMessageBox>("openLogFailure");
        if (*reason) {
            EXPECT_TRUE(opened == nullptr && Window::LogWindows().empty());
            ASSERT_NE(refusal, nullptr);
            EXPECT_TRUE(refusal->text().contains(name) && refusal->text().endsWith(reason)) << refusal->text().toStdString();
            refusal->close();
            continue;
        }
        EXPECT_EQ(refusal, nullptr);
        ASSERT_NE(opened, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return opened->Done(); }, 30000));
        EXPECT_EQ(opened->StatusText().toStdString() + std::to_string(opened->Console().Text().Size()),
                  "No frames in this log0");
    }
}

// A log read a slice at a time (its pace is the old-log benchmark's): closing the window half-way stops
// the reading and a save of its console, without a word (no message box while a window goes).
TEST(LogWindow, ClosingItHalfWayStopsTheReadingAndTheSave)
{
    Window w;
    const std::string path = w.File("long.kss");
    WriteFile(path, RawLogOf(ManyFrames(101, 4), 400000, At(0h)));
    LogWindow* shown = w.window->OpenLogFile(QString::fromStdString(path));
    ASSERT_NE(shown, nullptr);
    const QPointer<LogWindow> there(shown);
    std::uint64_t handedOn = 0;
    shown->SetReportHandler([&](const FrameReport&) { ++handedOn; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOn > 0; }, 60000));
    EXPECT_TRUE(shown->StatusText().endsWith(QStringLiteral(" frames so far")));
    const QString saved = w.dir.filePath(QStringLiteral("saved.txt"));
    auto dialogs = std::make_unique<AnsweringDialogs>(ExportDialogs::Choice::WholeConsole, saved);
    const std::shared_ptr<std::string> told = dialogs->told;
    shown->Console().SetExportDialogs(std::move(dialogs));
    shown->Console().SetCopyLimit(1);
    shown->Console().SelectAll();
    shown->Console().Copy();
    ASSERT_TRUE(shown->Console().Saving());
    shown->close();
    const std::uint64_t atClose = handedOn;
    EXPECT_LT(atClose, 400000u);
    // As the program's own event loop does when it next runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(there.isNull());
    QCoreApplication::processEvents();
    EXPECT_EQ(handedOn, atClose);
    EXPECT_EQ(*told, "");
    EXPECT_FALSE(QFile::exists(saved) || QFile::exists(saved + QStringLiteral(".part")));
}

}  // namespace
}  // namespace quillon::test
