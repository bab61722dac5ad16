// The real program asks a time server on 127.0.0.1 for the time at start-up.
// It runs without the right to set the clock (as root, setpriv drops it), so
// the last status line must be the refusal; the server answers with the
// present time, so even a clock set by mistake would move by under a second.
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "support/program_folder.h"
#include "support/running_quillon.h"

namespace quillon::test {
namespace {

std::vector<std::string> StatusLines(const std::string& output)
{
    // Qt's own warnings share standard error; the status lines are the rest.
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("QStandardPaths", 0) != 0 && line.find("propagateSizeHints") == std::string::npos &&
            line.find(" sec since last packet [") == std::string::npos)
            lines.push_back(line);
    return lines;
}

TEST(EndToEndTime, TheRealProgramQueriesTheServerAndReportsTheRefusedClock)
{
    if (!ProgramFolder::BinaryExists())
        GTEST_SKIP() << "the quillon binary is not built";

    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        QTcpSocket* peer = server.nextPendingConnection();
        const auto now = std::chrono::system_clock::now();
        const auto seconds = std::uint32_t(
            std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count() +
            2208988800LL);
        const char reply[4] = {char(seconds >> 24), char(seconds >> 16), char(seconds >> 8), char(seconds)};
        peer->write(reply, 4);
        peer->disconnectFromHost();
    });

    ProgramFolder folder;
    folder.WriteIni("TIMESERVER=127.0.0.1\r\n");
    std::vector<std::string> prefix;
    if (::geteuid() == 0)
        prefix = {"/usr/bin/setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time", "--"};
    RunningQuillon quillon(folder, {}, prefix,
                           {"QUILLON_STATUS_TO_STDERR=1",
                            "QUILLON_TIME_PORT=" + std::to_string(server.serverPort())});
    const std::string refused = "SetSystemTime failed. Clock not synchronised";
    EXPECT_TRUE(QTest::qWaitFor([&] { return quillon.Output().find(refused) != std::string::npos; }, 60000))
        << quillon.Output();
    EXPECT_TRUE(quillon.Stop().exited);

    const auto lines = StatusLines(quillon.Output());
    // The init script runs at the end of start-up, before the first event.
    ASSERT_GE(lines.size(), 9u) << quillon.Output();
    EXPECT_EQ(lines[0], "opening connection to TIMESERVER [127.0.0.1]");
    EXPECT_EQ(lines[1], "read tnc_init.txt");
    EXPECT_EQ(lines[2], "done");
    EXPECT_EQ(lines[3], "   winsock connection made");
    EXPECT_EQ(lines[4].rfind("data received: ", 0), 0u);
    EXPECT_NE(lines[4].find("  (4 bytes)"), std::string::npos);
    EXPECT_EQ(lines[5], "   closing connection");
    EXPECT_EQ(lines[6], "   sockets closed");
    EXPECT_EQ(lines[7], "   beginning system clock synchronization");
    EXPECT_EQ(lines[8], refused);
}

}  // namespace
}  // namespace quillon::test
