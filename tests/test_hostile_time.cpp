// Time servers that misbehave: one that sends a megabyte, one that sends a
// few bytes of garbage and one that sends nothing, none of which ever closes
// the connection. The real program must finish its start-up and go on
// logging frames, and end in order. It runs without the right to set the
// clock (as root, setpriv drops it), and it is stopped before the servers
// close, so no answer ever reaches the clock.
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "reliability_traffic.h"
#include "support/program_folder.h"
#include "support/running_quillon.h"

namespace quillon::test {
namespace {

struct Behaviour {
    const char* name;
    QByteArray sends;
};

TEST(HostileTimeServer, StartUpCompletesAndFramesAreStillLogged)
{
    if (!ProgramFolder::BinaryExists())
        GTEST_SKIP() << "the quillon binary is not built";
    const std::vector<Behaviour> behaviours = {
        {"a megabyte", QByteArray(1 << 20, '\x5A')},
        {"garbage", QByteArray("\xFF\x00garbage\r\n\xC0", 12)},
        {"nothing", QByteArray()},
    };
    for (const Behaviour& behaviour : behaviours) {
        SCOPED_TRACE(behaviour.name);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        std::vector<QPointer<QTcpSocket>> peers;  // held open until the end
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* peer = server.nextPendingConnection()) {
                peers.emplace_back(peer);
                peer->write(behaviour.sends);
            }
        });

        ProgramFolder folder;
        folder.WriteIni("COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nTIMESERVER=127.0.0.1\r\n");
        std::vector<std::string> prefix;
        if (::geteuid() == 0)
            prefix = {"/usr/bin/setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time", "--"};
        RunningQuillon quillon(folder, {}, prefix,
                               {"QUILLON_STATUS_TO_STDERR=1",
                                "QUILLON_TIME_PORT=" + std::to_string(server.serverPort())});
        const auto connected = [&] {
            return quillon.Output().find("winsock connection made") != std::string::npos;
        };
        ASSERT_TRUE(QTest::qWaitFor(connected, 60000)) << quillon.Output();
        // Everything the server had to say has gone out.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !peers.empty() && peers.front() && peers.front()->bytesToWrite() == 0; }, 60000));
        ASSERT_TRUE(quillon.WaitStarted()) << quillon.Output();

        const auto frames = ManyFrames(100, 12);
        const std::string stream = Joined(frames);
        ASSERT_TRUE(folder.Com1().WriteAll(stream));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return LineCount(folder.ReadLog(".dump")) >= frames.size(); }, 60000))
            << quillon.Output().substr(0, 2000);
        std::size_t timeFrames = 0;
        EXPECT_TRUE(WithoutTimeFrames(folder.ReadLog(".kss"), timeFrames) == stream);
        EXPECT_TRUE(quillon.Running());
        EXPECT_EQ(quillon.Output().find("synchroni"), std::string::npos)
            << "the clock synchronisation ran although the server never closed";

        const ExitStatus exit = quillon.Stop(SIGTERM, std::chrono::seconds(60));
        EXPECT_TRUE(exit.exited && exit.code == 0) << exit.Describe();
    }
}

}  // namespace
}  // namespace quillon::test
