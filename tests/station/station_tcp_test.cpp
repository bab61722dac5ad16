// The station with KISS_TCP: its input a KISS server on 127.0.0.1 instead of
// COM1. The frames go through the same receive pipeline, however TCP cuts
// them (its losses and returns are the link contract's test, the cut-off
// frame's drop the end-to-end test's); no script reaches it.
#include <random>

#include "link.h"
#include "loopback_server.h"
#include "station_fixture.h"

namespace quillon::test {
namespace {

// The stream from the server in pieces of random sizes, each taken by the
// station before the next goes, so that every cut is one the receive path
// sees; what the mirror port passes on is gathered meanwhile.
bool SendInPieces(LoopbackServer& server, Running& s, const std::string& stream, unsigned seed,
                  std::string* mirrored = nullptr)
{
    std::mt19937 random(seed);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t size = std::min<std::size_t>(stream.size() - at, random() % 4 == 0 ? 1 : 1 + random() % 600);
        const auto before = s.station->Counts().BytesReceived;
        if (!server.Send(std::string_view(stream).substr(at, size)) ||
            !QTest::qWaitFor([&] { return s.station->Counts().BytesReceived == before + size; }, 20000))
            return false;
        at += size;
        if (mirrored)
            *mirrored += s.com2.ReadAvailable();
    }
    return true;
}

std::string Ini(const LoopbackServer& server, const std::string& more = "")
{
    return "KISS_TCP=" + server.Address() + "\r\nTIMEFRAMES=NO\r\nHEXFILE=YES\r\n" + more;
}

TEST(StationTcp, FramesInRandomPiecesAreLoggedAndMirroredByteForByteAndNoScriptReachesTheServer)
{
    LoopbackServer server;
    Running s(Ini(server, "MIRROR=YES\r\n"), "KISS ON\r\n$\r\n", "^@K\r\n$\r\n");
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.view.lamps.input == Lamp::Green; }, 20000));
    EXPECT_TRUE(s.view.links.starts_with("IN (TCP " + server.Address() + ")|OUT (COM ")) << s.view.links;

    const std::vector<std::string> frames = ManyFrames(300, 11);
    const std::string stream = Joined(frames);
    std::string mirrored;
    ASSERT_TRUE(SendInPieces(server, s, stream, 12, &mirrored));
    // The buttons, as a user would press them.
    s.station->RunInitScript();
    s.station->RunExitScript();
    s.station->RunInitScript();
    ASSERT_TRUE(QTest::qWaitFor([&] { return (mirrored += s.com2.ReadAvailable()).size() >= stream.size(); }, 20000));
    s.station->Stop();
    ASSERT_TRUE(server.ClientGone());

    EXPECT_EQ(server.Received(), "") << "script bytes reached the KISS server";
    EXPECT_TRUE(s.Log("kss") == stream) << "the raw log is not the frames sent";
    EXPECT_TRUE(mirrored == stream) << mirrored.size() << " of " << stream.size() << " bytes mirrored";
    EXPECT_EQ(s.view.reports.size(), frames.size());
    EXPECT_EQ(Count(s.Log("dump"), "\r\n"), frames.size());
    EXPECT_EQ(s.view.statusLines, (std::vector<std::string>{"tnc_init.txt not sent: KISS over TCP",
                                                            server.Address() + " connected",
                                                            "tnc_exit.txt not sent: KISS over TCP"}));
}

TEST(StationTcp, AKissTcpValueThatNamesNoServerLeavesTheSerialInput)
{
    Running s("KISS_TCP=localhost:0\r\nCOM_PORT=1\r\nCOM_SETTINGS=9600,N,8,1\r\nCOM_HANDSHAKING=NO\r\n", "KISS ON\r\n");
    EXPECT_EQ(Running::Receive(s.com1, 8), "KISS ON\r");
    EXPECT_TRUE(s.station->Input().IsOpen());
    EXPECT_TRUE(s.view.links.starts_with("IN (COM 1, 9600,N,8,1,NO)|")) << s.view.links;
    EXPECT_EQ(s.view.statusLines.at(0), "KISS_TCP=LOCALHOST:0 not understood (HOST or HOST:PORT, port 1 to 65535)");
}

}  // namespace
}  // namespace quillon::test
