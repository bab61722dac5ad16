// The main window in-process, offscreen, on a station in a throw-away program folder.
#include <QLayout>
#include <gtest/gtest.h>

#include "about_window.h"
#include "frames.h"
#include "program.h"
#include "statistics_window.h"
#include "text_areas.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

TEST(Window, ShowsTheFramesTheCountersAndTheLampsUntilClearCounterOrMirrorOff)
{
    Window w("MIRROR=YES\r\n");
    ASSERT_TRUE(w.Send(kFrame));
    w.Find<QCheckBox>("decodeSwitch")->setChecked(false);
    ASSERT_TRUE(w.Send(kFrame + Bytes("C0 00 41")));  // and the start of another
    const QString text = w.window->Console().PlainText();  // decoded, then as received
    EXPECT_TRUE(text.count("from N0CALL-7 to APRS") == 1 && text.contains("   1 > C0 00 82 A0")) << text.toStdString();
    const auto counters = [&] {
        return w.Find<QGroupBox>("frameBox")->title().toStdString() + ", " + w.Label("receivedCounter") + ", " +
               w.Label("sentCounter");
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return counters() == "RAW KISS Frame, 47 Bytes received (2 Frames), 44 Bytes sent"; }))
        << counters();
    EXPECT_EQ(w.Label("inputLabel") + w.Label("mirrorLabel"), "IN (COM , ,)OUT (COM , ,)");
    const auto lamps = [&] {
        std::string shown;
        for (const char* name : {"inputLamp", "mirrorLamp"})
            shown += std::to_string(int(w.Find<IndicatorLamp>(name)->Shown())) +
                     (w.Find<IndicatorLamp>(name)->isVisibleTo(w.window.get()) ? "+" : "-");
        return shown;
    };
    EXPECT_EQ(lamps(), "1+1+");  // both green

    w.Trigger("clearAction");
    EXPECT_EQ(w.window->Console().PlainText().toStdString() + w.Label("receivedCounter") + w.Label("sentCounter"), "");
    w.Trigger("mirrorAction");  // off
    EXPECT_FALSE(w.station->Mirroring() || w.Find("sentCounter")->isVisibleTo(w.window.get()) ||
                 w.Find<QAction>("mirrorAction")->isChecked());
    EXPECT_EQ(lamps(), "1+0-");
    w.station->Tick();
    EXPECT_EQ(w.Label("clock"), "14:05:09");
}

// A console whose temporary file cannot be made says so once in the status box.
TEST(Window, AConsoleWithoutItsTemporaryFileSaysSoOnce)
{
    Window w;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", w.File("no such folder").c_str());
    w.window->History().SetMemoryBudget(0);
    const std::string frame = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, std::string(240, 'x')});
    const std::string line = ConsoleFileLine(ENOENT);
    int said = 0;
    for (int i = 0; i < 120; ++i) {  // about two chunks of console text
        ASSERT_TRUE(w.Send(frame));
        said += w.window->Status().Text().find(line) != std::string::npos;  // each frame empties the box
    }
    saved.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", saved);
    EXPECT_EQ(w.window->Console().Text().FileError(), ENOENT);
    EXPECT_EQ(said, 1) << line;
}

// In a small window the status box gives up lines and the console keeps most of the room.
TEST(Window, ASmallWindowGivesItsHeightToTheConsole)
{
    Window w("");
    w.window->show();
    const QWidget& console = *w.Find<QWidget>("frameBox");
    const StatusBox& status = w.window->Status();
    const auto resize = [&](int height) {
        w.window->resize(820, height);
        w.window->centralWidget()->layout()->activate();
    };
    resize(640);
    EXPECT_EQ(status.height(), status.maximumHeight());
    const int full = status.height();
    for (const int height : {330, 280}) {
        resize(height);
        ASSERT_LT(console.height(), console.sizeHint().height()) << height << ": not a small window";
        EXPECT_LT(status.height(), full) << height;
        EXPECT_GE(console.height(), 2 * status.height()) << height;
    }
}

TEST(Window, TheStatisticsAndAboutWindowsOutliveTheMainWindow)
{
    Window w("HEXFILE=YES\r\n", "KISS ON");
    EXPECT_EQ(w.window->Status().Text(), "read tnc_init.txt\r\ndone\r\n");
    ASSERT_TRUE(w.Send(Kiss({{"N0CALL"}, {"DL1ABC", 1}, {}, 0x21, {}, ""})));
    for (const char* entry : {"statisticsAction", "statisticsAction", "aboutAction"})
        w.Trigger(entry);
    w.window->close();
    EXPECT_TRUE(w.station->Stopped());
    QString stats, about;  // the windows still open: one of each
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* statistics = qobject_cast<StatisticsWindow*>(top); statistics && statistics->isVisible())
            stats += statistics->Text().PlainText();
        if (auto* aboutWindow = qobject_cast<AboutWindow*>(top); aboutWindow && aboutWindow->isVisible())
            about += aboutWindow->findChild<QLabel*>("version")->text() +
                     (aboutWindow->findChild<QLabel*>("icon")->pixmap().isNull() ? "" : " and the icon");
        top->close();
    }
    EXPECT_EQ(stats, "Statistics\n\n18 Bytes received\n1 Frames decoded\n0 TFESC received\n0 TFEND received\n");
    EXPECT_EQ(about, "Version 8.5    (28 July 2013) and the icon");
}

}  // namespace
}  // namespace quillon::test
