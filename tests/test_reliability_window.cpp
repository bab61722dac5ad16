// Faults seen from inside the main window: the TNC going away and logs that
// cannot be written.
#include <gtest/gtest.h>

#include "reliability_traffic.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

std::size_t Count(const QString& text, const char* what)
{
    return std::size_t(text.count(QLatin1String(what)));
}

TEST(WindowFaults, TheRedLampShowsAtTheFirstTickAfterTheTncWentAway)
{
    WindowFixture f;
    Form1& form = f.Load("COM_PORT=1\r\nMIRROR_COM_PORT=2\r\n");
    form.Timer1_Timer();
    EXPECT_FALSE(form.Image2->isHidden());
    EXPECT_TRUE(form.Image3->isHidden());
    ASSERT_TRUE(f.Send(KissFrame(Ax25UiFrame("APRS", "N0CALL", {}, "before"))));

    // The port notices the hang-up by itself, between ticks, so the next tick
    // (at most a second away) already shows the red lamp.
    f.com1.Close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.MSComm1.PortOpen(); }, 30000))
        << "the input port did not notice that its device went away";
    form.Timer1_Timer();
    EXPECT_TRUE(form.Image2->isHidden());
    EXPECT_FALSE(form.Image3->isHidden());

    // The window goes on: ticks count the silence, and it closes in order.
    const std::size_t lines = LineCount(form.Text1->Text());
    f.clock.Advance(std::chrono::seconds(1));
    form.Timer1_Timer();
    EXPECT_EQ(LineCount(form.Text1->Text()), lines + 1);
    EXPECT_EQ(form.Counters.FrameCount, 1);
    form.close();
    EXPECT_FALSE(form.RawLog.IsOpen());
}

TEST(WindowFaults, LogsThatCannotBeWrittenLeaveTheConsoleReporting)
{
    WindowFixture f;
    Form1& form = f.Load("COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nTIMEFRAMES=YES\r\nHEXFILE=YES\r\n");
    // /dev/full takes nothing, as a full disk.
    for (LogFile* log : {&form.RawLog, &form.DumpLog, &form.HexLog})
        ASSERT_TRUE(log->Open("/dev/full"));
    ASSERT_FALSE(form.RawLog.Write("x"));

    const auto frames = ManyFrames(300, 11);
    for (std::size_t i = 0; i < frames.size(); i += 30)
        ASSERT_TRUE(f.Send(Joined(frames, i, i + 30)));
    EXPECT_EQ(form.Counters.FrameCount, int(frames.size()));
    const QString console = form.RichTextBox1->toPlainText();
    EXPECT_EQ(Count(console, " UTC: ["), frames.size());
    EXPECT_EQ(Count(console, "#299 "), 1u);  // the last payload, as text
    form.close();
}

}  // namespace
}  // namespace quillon::test
