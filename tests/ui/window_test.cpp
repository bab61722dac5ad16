// The main window in-process, offscreen, on a station in a throw-away program folder.
#include <gtest/gtest.h>

#include "frames.h"
#include "program.h"
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
    w.window->close();
    EXPECT_TRUE(w.station->Stopped());
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

// Esc closes the find bar and gives the keys back to the console, not to the status box or buttons after it.
TEST(Window, EscClosesTheFindBarAndTheKeysGoToTheConsoleAgain)
{
    Window w;
    w.window->show();
    w.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    ConsoleArea& area = w.window->Console();
    area.setFocus();
    QTest::keyClick(&area, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(area.FindField()->hasFocus());
    QTest::keyClick(area.FindField(), Qt::Key_Escape);
    EXPECT_FALSE(area.FindField()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), &area);
}

}  // namespace
}  // namespace quillon::test
