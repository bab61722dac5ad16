// The link to a KISS server on the network against a real server on
// 127.0.0.1: its state and its signals while the server is not up yet,
// comes, sends, closes, resets and refuses; the connection itself, writing,
// the end of a run and the close.
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <functional>

#include "loopback_server.h"
#include "program.h"
#include "tcp_link.h"

namespace quillon::test {
namespace {

using Said = std::vector<std::string>;

// What the link says, in order: "lost: REASON", "back", and the bytes it
// delivers as "data:BYTES", the pieces of a run of them joined.
struct Events {
    explicit Events(Link& link)
    {
        QObject::connect(&link, &Link::Lost, [this](const QString& r) { said.push_back("lost: " + r.toStdString()); });
        QObject::connect(&link, &Link::Back, [this] { said.push_back("back"); });
        QObject::connect(&link, &Link::Received, [this](const QByteArray& bytes) {
            if (said.size() == seen || !said.back().starts_with("data:"))
                said.push_back("data:");
            said.back() += bytes.toStdString();
        });
    }
    // What the link has said since the last call, once it is `expected` (or
    // the limit has run out).
    Said Next(const Said& expected)
    {
        const auto fresh = [&] { return Said(said.begin() + std::ptrdiff_t(seen), said.end()); };
        (void)QTest::qWaitFor([&] { return fresh() == expected; }, 20000);
        const Said next = fresh();
        seen = said.size();
        return next;
    }
    Said said;
    std::size_t seen = 0;
};

int SocketOption(int fd, int level, int option)
{
    int value = -1;
    socklen_t length = sizeof value;
    return ::getsockopt(fd, level, option, &value, &length) == 0 ? value : -1;
}

TEST(TcpLink, SaysEachLossOnceTriesAgainQuietlyAndIsBackWithTheServer)
{
    LoopbackServer server(false);
    TcpLink link({"127.0.0.1", server.Port()});
    Events events(link);
    link.SetReopening(true);
    const std::string closed = "lost: The remote host closed the connection";
    struct Step {
        const char* name;
        std::function<void()> action;
        Said events;  // what the link says after it
        Link::State state;
        bool away = false;  // the server stays away a while: the link keeps trying without a word or a busy loop
    };
    const std::vector<Step> steps = {
        {"not up at the start", [&] { EXPECT_TRUE(link.Open()); }, {"lost: Connection refused"}, Link::State::Lost,
         true},
        {"up", [&] { ASSERT_TRUE(server.Listen() && server.Accept()); }, {"back"}, Link::State::Open},
        {"bytes in pieces", [&] { server.Send("ab"), server.Send("c\xC0\xDB"), server.Send(std::string(1, '\0')); },
         {"data:" + std::string("abc\xC0\xDB\0", 6)}, Link::State::Open},
        {"closed in order after a last piece", [&] { server.Send("xyz"), server.Close(); }, {"data:xyz", closed},
         Link::State::Lost},
        {"listening still", [&] { ASSERT_TRUE(server.Accept()); }, {"back"}, Link::State::Open},
        {"reset", [&] { server.Reset(); }, {closed}, Link::State::Lost},
        {"back after the reset", [&] { ASSERT_TRUE(server.Accept()); }, {"back"}, Link::State::Open},
        {"gone and refusing", [&] { server.StopListening(), server.Close(); }, {closed}, Link::State::Lost, true},
        {"up again", [&] { ASSERT_TRUE(server.Listen() && server.Accept()); }, {"back"}, Link::State::Open},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.action();
        EXPECT_EQ(events.Next(step.events), step.events);
        EXPECT_EQ(link.GetState(), step.state);
        if (step.away) {
            // Longer than the retry interval: at least one attempt falls into it.
            const double share = CpuShareOfEventLoop(TcpLink::kRetryInterval + 500ms);
            EXPECT_LT(share, 0.05) << "a busy loop while the server is away";
            EXPECT_EQ(events.Next({}), Said{}) << "a retry that said something";
        }
    }
}

// The host as quillon.ini gives it, upper-cased, is looked up. TCP keepalive
// finds a dead peer in about two minutes. Writes go out, the last ones after
// the end of the run too, and then nothing comes in and nothing connects.
TEST(TcpLink, KeepsTheConnectionAliveWritesAndAfterTheEndOfTheRunTakesNothingIn)
{
    LoopbackServer server;
    TcpLink link({"LOCALHOST", server.Port()});
    Events events(link);
    EXPECT_FALSE(link.Write("early"));
    link.SetReopening(true);
    link.Open();
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(events.Next({"back"}), Said{"back"});
    EXPECT_EQ(link.BackLine(), "LOCALHOST:" + std::to_string(server.Port()) + " connected");
    const auto* socket = link.findChild<QTcpSocket*>();
    ASSERT_NE(socket, nullptr);
    const int fd = int(socket->socketDescriptor());
    EXPECT_EQ(SocketOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    // The silence before the first probe, then the probes that go unanswered.
    const int deadAfter = SocketOption(fd, IPPROTO_TCP, TCP_KEEPIDLE) +
                          SocketOption(fd, IPPROTO_TCP, TCP_KEEPINTVL) * SocketOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
    EXPECT_TRUE(deadAfter >= 60 && deadAfter <= 180) << deadAfter << " s";

    EXPECT_TRUE(link.Write("abc"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Received() == "abc"; }, 20000));
    link.EndOfRun();
    ASSERT_TRUE(server.Send("late"));
    EXPECT_TRUE(link.Write("bye"));  // the last words still go out
    link.Close();
    EXPECT_EQ(link.GetState(), Link::State::Closed);
    ASSERT_TRUE(server.ClientGone());
    EXPECT_EQ(server.Received(), "abcbye");
    // Nothing more: no bytes, no loss, and no new connection even though the server listens.
    CpuShareOfEventLoop(TcpLink::kRetryInterval + 500ms);
    EXPECT_EQ(events.Next({}), Said{});
    EXPECT_FALSE(server.HasPendingClient());
    EXPECT_FALSE(link.Write("after"));
}

}  // namespace
}  // namespace quillon::test
