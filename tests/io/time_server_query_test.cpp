// The time-server client against an RFC 868 server on 127.0.0.1: the status lines in order and what
// the clock setter was asked to set (what the reply means is the core's).
#include <QTest>
#include <gtest/gtest.h>

#include "fakes.h"
#include "loopback_server.h"
#include "time_server_query.h"

namespace quillon::test {
namespace {

TEST(TimeServerQuery, TellsEveryStepAndSetsTheClockFromAValidReply)
{
    const std::string made = "   winsock connection made", closing = "   closing connection",
                      closed = "   sockets closed", begin = "   beginning system clock synchronization",
                      done = "clock synchronised succesfully with NTP server 127.0.0.1",
                      invalid = "Time passed not valid. Clock not synchronised", error = "   error received: ";
    const auto data = [](std::string hex, int n) { return "data received: " + hex + "  (" + std::to_string(n) + " bytes)"; };
    enum class End { Close, Reset, Hold, NotListening };  // what the server does once the reply is out
    struct Case {
        std::string host;
        std::vector<std::string> parts;  // the reply, one write each
        End end;
        std::vector<std::string> lines;  // after the opening line; with a long reply, its data lines left out
        std::string timeSet;  // what the setter was asked to set, if anything
    };
    const std::vector<Case> cases = {
        {"127.0.0.1", {Bytes("EE BD D2 80")}, End::Close, {made, data("EE BD D2 80", 4), closing, closed, begin, done},
         "2026-12-05 00:00:00"},
        {"127.0.0.1", {Bytes("EE BD D2"), Bytes("80")}, End::Close,
         {made, data("EE BD D2", 3), data("80", 1), closing, closed, begin, done}, "2026-12-05 00:00:00"},
        {"127.0.0.1", {}, End::Close, {made, closing, closed, invalid}, ""},
        // A flood is cut off by the client itself.
        {"127.0.0.1", {std::string(10 << 20, 'Z')}, End::Hold, {made, closing, closed, invalid}, ""},
        {"127.0.0.1", {Bytes("EE BD D2 80")}, End::Reset,
         {made, data("EE BD D2 80", 4), error + "Connection reset by peer", error + "10054", "sockets closed"}, ""},
        {"127.0.0.1", {}, End::NotListening, {error + "Connection refused", error + "10061", "sockets closed"}, ""},
        {"TIMESERVER.INVALID", {}, End::Close, {error + "Host not found", error + "11001", "sockets closed"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        FakeClockSetter setter;
        TimeServerQuery query([&](std::string_view line) { lines.emplace_back(line); }, setter);
        LoopbackServer server(c.end != End::NotListening);
        query.Start(c.host, server.Port());
        if (c.end != End::NotListening && c.host == "127.0.0.1") {
            ASSERT_TRUE(server.Accept());
            for (std::size_t i = 0; i < c.parts.size(); ++i) {
                server.Send(c.parts[i]);
                // The next part once this one is in, and the reset once all is in.
                const auto arrived = [&] { return lines.size() == 3 + i; };
                ASSERT_TRUE((i + 1 == c.parts.size() && c.end != End::Reset) || QTest::qWaitFor(arrived, 20000));
            }
            if (c.end == End::Reset)
                server.Reset();
            else if (c.end == End::Close)
                server.Close();
        }
        // Every line comes from the handler that closes the connection, or before.
        ASSERT_TRUE(QTest::qWaitFor([&] { return query.ConnectionState() == TcpClient::State::Closed; }, 20000));
        // A flood is neither kept nor dumped beyond what counts.
        EXPECT_LE(query.TimeServerReply().size(), TimeServerQuery::kReplyLimit + 1);
        for (const std::string& l : lines)
            EXPECT_LE(l.size(), 3 * (TimeServerQuery::kReplyLimit + 1) + 40);
        if (c.end == End::Hold)  // TCP cuts it where it likes
            std::erase_if(lines, [](const std::string& l) { return l.starts_with("data received: "); });
        std::vector<std::string> expected{"opening connection to TIMESERVER [" + c.host + "]"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(setter.Received().empty() ? "" : FormatDateTime(setter.Received().back()), c.timeSet);
    }
}

}  // namespace
}  // namespace quillon::test
