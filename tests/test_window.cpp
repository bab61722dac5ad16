// The main window's handlers with real pseudo-terminals on COM1 and COM2.
#include <gtest/gtest.h>

#include "support/kiss_frames.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

std::string Label(QLabel* label)
{
    return label->text().toStdString();
}

TEST(Window, StartUpSetsUpBothPortsFromTheConfiguration)
{
    WindowFixture f;
    Form1& form = f.Load(
        "com_port = 1\r\nCOM_SETTINGS=9600,n,8,1\r\nCOM_HANDSHAKING=no\r\n"
        "MIRROR_COM_PORT=2\r\nMIRROR_COM_SETTINGS=4800,e,7,2\r\nMIRROR=yes\r\n");
    EXPECT_EQ(form.windowTitle().toStdString(), "Quillon v. 8.5");
    EXPECT_EQ(Label(form.Label6), "IN (COM 1, 9600,N,8,1,NO)");
    EXPECT_EQ(Label(form.Label7), "OUT (COM 2, 4800,E,7,2,)");
    EXPECT_EQ(Label(form.Label8), "COM 2, 4800,E,7,2 initialized ");
    EXPECT_TRUE(form.MnuMirror->isChecked());
    EXPECT_FALSE(form.Label7->isHidden());
    EXPECT_TRUE(form.MSComm1.PortOpen());
    EXPECT_TRUE(form.MSComm2.PortOpen());
    EXPECT_TRUE(form.RawLog.IsOpen());
    EXPECT_TRUE(form.DumpLog.IsOpen());
    EXPECT_FALSE(form.HexLog.IsOpen());
    EXPECT_EQ(form.RawLog.Path(), f.dir / "28072013_1405.kss");
    EXPECT_EQ(form.Text1->Text(), "read tnc_init.txt\r\ndone\r\n");
}

TEST(Window, WithoutConfigurationThePortsKeepTheirFirstNumbers)
{
    WindowFixture f;
    Form1& form = f.Load("");
    EXPECT_EQ(Label(form.Label6), "IN (COM , ,)");
    EXPECT_EQ(Label(form.Label8), "COM 2, 9600,N,8,1 initialized ");
    EXPECT_FALSE(form.MnuMirror->isChecked());
    EXPECT_TRUE(form.Image4->isHidden());
    EXPECT_TRUE(form.Label10->isHidden());
    // Mirroring off does not keep the mirror port closed.
    EXPECT_TRUE(form.MSComm1.PortOpen());
    EXPECT_TRUE(form.MSComm2.PortOpen());
    EXPECT_TRUE(f.com1.WaitPeerOpen(std::chrono::seconds(5)));
}

TEST(Window, AMirrorPortThatCannotBeOpenedStillGetsItsLine)
{
    WindowFixture f;
    std::filesystem::create_symlink(f.dir / "no-such-device", f.dir / "COM7");
    Form1& form = f.Load("MIRROR_COM_PORT=7\r\nMIRROR_COM_SETTINGS=19200,N,8,1\r\nMIRROR=YES\r\n");
    EXPECT_FALSE(form.MSComm2.PortOpen());
    EXPECT_EQ(Label(form.Label8), "COM 7, 19200,N,8,1 initialized ");

    // Mirroring on with the port closed: the block is dropped, not counted,
    // and the frames are read as usual.
    ASSERT_TRUE(f.Send(Bytes("C0 00 41 C0")));
    EXPECT_EQ(form.Counters.FrameCount, 1);
    EXPECT_EQ(form.Counters.BytesSent, 0);
    EXPECT_EQ(Label(form.Label10), "");
}

TEST(Window, FramesSplitOverTwoReadsAtEveryPositionAreLoggedWhole)
{
    WindowFixture f;
    Form1& form = f.Load("TIMEFRAMES=NO\r\n");
    const std::string stream = Bytes("C0 00 41 C0 6E 6F 69 73 65 C0 00 DB DC 42 C0 C0 C0 00 43 C0");
    const std::string frames = Bytes("C0 00 41 C0 C0 00 DB DC 42 C0 C0 00 43 C0");
    std::string expected;
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        ASSERT_TRUE(f.Send(stream.substr(0, cut))) << cut;
        ASSERT_TRUE(f.Send(stream.substr(cut))) << cut;
        expected += frames;
    }
    EXPECT_EQ(Hex(f.Log(".kss")), Hex(expected));
    EXPECT_EQ(form.Counters.FrameCount, int(3 * (stream.size() - 1)));
    EXPECT_EQ(form.Counters.BytesReceived, stream.size() * (stream.size() - 1));
    EXPECT_EQ(Label(form.Label9), std::to_string(form.Counters.BytesReceived) + " Bytes received (" +
                                      std::to_string(form.Counters.FrameCount) + " Frames)");
}

TEST(Window, TimeFramesGoInFrontOfEveryFrameInTheRawLog)
{
    WindowFixture f;
    f.Load("TIMEFRAMES=yes\r\n");
    f.clock.Advance(std::chrono::milliseconds(437));
    ASSERT_TRUE(f.Send(Bytes("C0 00 41 C0 C0 00 42 C0")));
    const std::string timeFrame = "\xC0\x09" "2013-07-28 14:05:09.437 UTC\xC0";
    EXPECT_EQ(f.Log(".kss"), timeFrame + Bytes("C0 00 41 C0") + timeFrame + Bytes("C0 00 42 C0"));
}

TEST(Window, AReceiveEventEmptiesTheStatusBoxEvenWithoutAFrame)
{
    WindowFixture f;
    Form1& form = f.Load("");
    ASSERT_TRUE(f.Send(Bytes("C0 00 41 C0")));
    const std::string label9 = Label(form.Label9);
    form.AppendStatus("Framing Error");
    ASSERT_TRUE(f.Send("abc"));
    EXPECT_EQ(form.Text1->Text(), "");
    EXPECT_EQ(Label(form.Label9), label9);  // no frame end, no new count
    EXPECT_EQ(form.Counters.BytesReceived, 7u);
}

TEST(Window, MirrorCopiesEveryBlockUnchangedWhileSwitchedOn)
{
    WindowFixture f;
    Form1& form = f.Load("MIRROR=YES\r\n");
    ASSERT_TRUE(f.com2.WaitPeerOpen(std::chrono::seconds(5)));
    const std::string block = Bytes("41 C0 00 DB DC C0 42");  // parts of frames and noise
    ASSERT_TRUE(f.Send(block));
    EXPECT_EQ(f.Receive(f.com2, block.size()),
              block);
    EXPECT_EQ(form.Counters.BytesSent, 7);
    EXPECT_EQ(Label(form.Label10), "7 Bytes sent");

    form.MnuMirror_Click();  // off: the port closes and the indicators hide
    EXPECT_FALSE(form.MnuMirror->isChecked());
    EXPECT_FALSE(form.MSComm2.PortOpen());
    EXPECT_TRUE(form.Label8->isHidden());
    ASSERT_TRUE(f.Send(block));
    EXPECT_EQ(form.Counters.BytesSent, 7);

    form.MnuMirror_Click();  // on again, with the same settings
    EXPECT_TRUE(form.MSComm2.PortOpen());
    EXPECT_FALSE(form.Image4->isHidden() && form.Image5->isHidden() && form.Label8->isHidden());
    ASSERT_TRUE(f.Send("xyz"));
    EXPECT_EQ(f.Receive(f.com2, 3),
              "xyz");
    EXPECT_EQ(Label(form.Label10), "10 Bytes sent");
}

TEST(Window, StatusTimerCountsTheSilenceInUtc)
{
    WindowFixture f;
    Form1& form = f.Load("");
    form.Text1->Clear();
    for (int i = 0; i < 2; ++i) {
        f.clock.Advance(std::chrono::seconds(1));
        form.Timer1_Timer();
    }
    EXPECT_EQ(form.Text1->Text(), "1 sec since last packet [0]\r\n2 sec since last packet [0]\r\n");
    EXPECT_EQ(Label(form.Label1), "14:05:11");
    EXPECT_FALSE(form.Image2->isHidden());
    EXPECT_TRUE(form.Image3->isHidden());
    EXPECT_TRUE(form.Image4->isHidden() && form.Image5->isHidden());  // mirroring off

    ASSERT_TRUE(f.Send(Bytes("C0 00 41 C0")));  // a frame in the same second as the tick
    form.Timer1_Timer();
    EXPECT_EQ(form.Text1->Text(), "");
    f.clock.Advance(std::chrono::seconds(1));
    form.Timer1_Timer();
    EXPECT_EQ(form.Text1->Text(), "1 sec since last packet [2]\r\n");
}

TEST(Window, ScriptsGoToTheTncAtStartUpAndAtTheEnd)
{
    WindowFixture f;
    Form1& form = f.Load("", "$\r\n^\r\n #x\r\n# comment\r\n\r\nKISS ON", "^@K\n");
    EXPECT_EQ(Hex(f.Receive(f.com1, 18)),
              Hex(Bytes("C0 FF C0 0D 1B 0D 20 23 78 0D") + "KISS ON\r"));
    form.Form_Unload();
    EXPECT_FALSE(form.MSComm1.PortOpen());
    EXPECT_FALSE(form.MSComm2.PortOpen());
    EXPECT_EQ(Hex(f.Receive(f.com1, 4)),
              Hex(Bytes("1B 40 4B 0D")));
}

}  // namespace
}  // namespace quillon::test
