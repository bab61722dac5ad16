// The time-server client against a real RFC 868 server on 127.0.0.1: the
// status-box lines in order and what the clock setter was asked to set.
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "fakes.h"
#include "time_server_query.h"

namespace quillon::test {
namespace {

TEST(TimeServerQuery, TellsEveryStepAndSetsTheClockFromAValidReply)
{
    const std::string made = "   winsock connection made", closing = "   closing connection",
                      closed = "   sockets closed", begin = "   beginning system clock synchronization",
                      done = "clock synchronised succesfully with NTP server 127.0.0.1",
                      invalid = "Time passed not valid. Clock not synchronised";
    const auto data = [](std::string hex, int n) {
        return "data received: " + hex + "  (" + std::to_string(n) + " bytes)";
    };
    struct Case {
        std::string host;
        std::vector<std::string> parts;  // the reply, one write each; then the server closes
        bool serverListens, setterSucceeds;
        std::vector<std::string> lines;  // after the opening line; with a long reply, its data lines left out
        std::string timeSet;  // what the setter was asked to set, if anything
        bool reset = false;   // the server resets the connection instead of closing it
        bool holdOpen = false;  // the server neither closes nor resets
    };
    const std::vector<std::string> reset = {"   error received: Connection reset by peer",
                                            "   error received: 10054", "sockets closed"};
    const std::vector<Case> cases = {
        {"127.0.0.1", {Bytes("EE BD D2 80")}, true, true,
         {made, data("EE BD D2 80", 4), closing, closed, begin, done}, "2026-12-05 00:00:00"},
        {"127.0.0.1", {Bytes("EE BD D2"), Bytes("80")}, true, true,
         {made, data("EE BD D2", 3), data("80", 1), closing, closed, begin, done}, "2026-12-05 00:00:00"},
        {"127.0.0.1", {}, true, true, {made, closing, closed, invalid}, ""},
        {"127.0.0.1", {"OK\r\n"}, true, true,
         {made, data("4F 4B 0D 0A", 4), closing, closed, begin, done}, "1942-02-27 04:56:42"},
        {"127.0.0.1", {Bytes("29 49 1B FF")}, true, true, {made, data("29 49 1B FF", 4), closing, closed}, ""},
        {"127.0.0.1", {Bytes("EE BD D2 80")}, true, false,
         {made, data("EE BD D2 80", 4), closing, closed, begin, "SetSystemTime failed. Clock not synchronised"},
         "2026-12-05 00:00:00"},
        {"127.0.0.1", {std::string(1 << 20, 'Z')}, true, true, {made, closing, closed, invalid}, ""},
        {"127.0.0.1", {std::string(10 << 20, 'Z')}, true, true, {made, closing, closed, invalid}, "", false, true},
        {"127.0.0.1", {Bytes("EE BD D2 80")}, true, true, {made, data("EE BD D2 80", 4), reset[0], reset[1], reset[2]},
         "", true},
        {"127.0.0.1", {}, true, true, {made, reset[0], reset[1], reset[2]}, "", true},
        {"127.0.0.1", {}, false, true,
         {"   error received: Connection refused", "   error received: 10061", "sockets closed"}, ""},
        {"TIMESERVER.INVALID", {}, true, true,
         {"   error received: Host not found", "   error received: 11001", "sockets closed"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        FakeClockSetter setter(c.setterSucceeds);
        TimeServerQuery query([&](std::string_view line) { lines.emplace_back(line); }, setter);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        query.SetRemotePortForTesting(server.serverPort());
        if (!c.serverListens)
            server.close();
        query.Start(c.host);
        if (c.serverListens && c.host == "127.0.0.1") {
            QTcpSocket* client = nullptr;
            ASSERT_TRUE(QTest::qWaitFor([&] { return (client = server.nextPendingConnection()); }, 20000));
            for (std::size_t i = 0; i < c.parts.size(); ++i) {
                client->write(c.parts[i].data(), qint64(c.parts[i].size()));
                const auto arrived = [&] { return lines.size() == 3 + i; };  // the next once this one is in
                ASSERT_TRUE(i + 1 == c.parts.size() || QTest::qWaitFor(arrived, 20000));
            }
            if (c.reset) {  // once all is in; a close with a zero linger time sends RST instead of FIN
                ASSERT_TRUE(QTest::qWaitFor([&] { return lines.size() == 2 + c.parts.size(); }, 20000));
                const linger hard{1, 0};
                ::setsockopt(int(client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                client->abort();
            } else if (!c.holdOpen) {
                client->disconnectFromHost();
            }
        }
        // Every line comes from the handler that closes the connection, or before.
        ASSERT_TRUE(QTest::qWaitFor([&] { return query.ConnectionState() == TcpClient::State::Closed; }, 20000));
        // A flood is neither kept nor dumped beyond what counts.
        EXPECT_LE(query.TimeServerReply().size(), TimeServerQuery::kReplyLimit + 1);
        for (const std::string& l : lines)
            EXPECT_LE(l.size(), 3 * (TimeServerQuery::kReplyLimit + 1) + 40);
        if (!c.parts.empty() && c.parts[0].size() > 4)  // TCP cuts it where it likes
            std::erase_if(lines, [](const std::string& l) { return l.starts_with("data received: "); });
        std::vector<std::string> expected{"opening connection to TIMESERVER [" + c.host + "]"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(setter.Received().empty() ? "" : FormatDateTime(setter.Received().back()), c.timeSet);
    }
}

}  // namespace
}  // namespace quillon::test
