// The station with KISS_TCP (the link's cuts, losses and returns are the link contract's test).
#include "link.h"
#include "loopback_server.h"
#include "station_fixture.h"

namespace quillon::test {
namespace {

TEST(StationTcp, FramesAreLoggedAndMirroredByteForByteAndNoScriptReachesTheServer)
{
    LoopbackServer server;
    Running s("KISS_TCP=" + server.Address() + "\r\nTIMEFRAMES=NO\r\nMIRROR=YES\r\n", "KISS ON\r\n$\r\n", "^@K\r\n$\r\n");
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.view.lamps.input == Lamp::Green; }, 20000));
    EXPECT_TRUE(s.view.links.starts_with("IN (TCP " + server.Address() + ")|OUT (COM ")) << s.view.links;

    const std::vector<std::string> frames = ManyFrames(300, 11);
    const std::string stream = Joined(frames);
    ASSERT_TRUE(server.Send(stream));
    std::string mirrored;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (mirrored += s.com2.ReadAvailable()).size() >= stream.size(); }, 20000));
    s.station->RunInitScript();  // the buttons, as a user would press them
    s.station->RunExitScript();
    s.station->Stop();
    ASSERT_TRUE(server.ClientGone());

    EXPECT_EQ(server.Received(), "") << "script bytes reached the KISS server";
    EXPECT_TRUE(s.Log("kss") == stream) << "the raw log is not the frames sent";
    EXPECT_TRUE(mirrored == stream) << mirrored.size() << " of " << stream.size() << " bytes mirrored";
    EXPECT_EQ(s.view.reports.size(), frames.size());
    EXPECT_EQ(s.view.statusLines, (std::vector<std::string>{"tnc_init.txt not sent: KISS over TCP",
                                                            server.Address() + " connected",
                                                            "tnc_exit.txt not sent: KISS over TCP"}));
}

TEST(StationTcp, AKissTcpValueThatNamesNoServerLeavesTheSerialInput)
{
    Running s("KISS_TCP=localhost:0\r\nCOM_PORT=1\r\nCOM_SETTINGS=9600,N,8,1\r\nCOM_HANDSHAKING=NO\r\n", "KISS ON\r\n");
    EXPECT_EQ(Running::Receive(s.com1, 8), "KISS ON\r");
    EXPECT_EQ(s.view.statusLines.at(0), "KISS_TCP=LOCALHOST:0 not understood (HOST or HOST:PORT, port 1 to 65535)");
}

}  // namespace
}  // namespace quillon::test
