// What every kind of link promises, against a serial port on a pseudo-terminal
// behind COM1 and a KISS server on the loopback, named as quillon.ini gives it.
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "loopback_server.h"
#include "program.h"
#include "serial_link.h"
#include "tcp_link.h"

namespace quillon::test {
namespace {

using Said = std::vector<std::string>;

// What the link says, in order: "lost: REASON", "back", "event N", and the
// bytes it delivers as "data:BYTES", the pieces of a run of them joined.
struct Events {
    explicit Events(Link& link)
    {
        QObject::connect(&link, &Link::Lost, [this](const QString& r) { said.push_back("lost: " + r.toStdString()); });
        QObject::connect(&link, &Link::Back, [this] { said.push_back("back"); });
        QObject::connect(&link, &Link::LineEvent, [this](int code) { said.push_back("event " + std::to_string(code)); });
        QObject::connect(&link, &Link::Received, [this](const QByteArray& bytes) {
            if (said.size() == seen || !said.back().starts_with("data:"))
                said.push_back("data:");
            said.back() += bytes.toStdString();
        });
    }
    // What the link has said since the last call, once it is `expected` (or the limit has run out).
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

// The far side of a link: the device, which the test makes come and go.
struct Far {
    Far(const char* absent, const char* gone) : absentReason(absent), goneReason(gone) {}
    virtual ~Far() = default;
    virtual std::unique_ptr<Link> MakeLink() = 0;
    virtual void Appear() = 0;
    virtual void Vanish() = 0;
    virtual bool Send(std::string_view bytes) = 0;
    // All the link has sent since the device last appeared.
    virtual std::string Received() = 0;
    // Whether the link has let go of the device (closed it).
    virtual bool Released() = 0;
    const char* absentReason;  // a device not there at the start
    const char* goneReason;    // one that went away
    std::string backLine;      // the status line of its return
};

// The program folder's COM1 leads nowhere, then to a new pseudo-terminal each time it appears.
struct SerialFar final : Far {
    SerialFar() : Far("No such file or directory", "Input/output error") { folder.Unplug(1), backLine = "COM 1 reopened"; }
    std::unique_ptr<Link> MakeLink() override { return std::make_unique<SerialLink>(1, dir.path()); }
    void Appear() override { folder.Replug(1), received.clear(); }
    void Vanish() override { folder.Unplug(1); }
    bool Send(std::string_view bytes) override { return folder.Com1().WriteAll(bytes); }
    std::string Received() override { return received += folder.Com1().ReadAvailable(); }
    bool Released() override { return !folder.Com1().PeerOpen(); }
    QTemporaryDir dir;
    ProgramFolder folder{dir.path().toStdString()};
    std::string received;
};

struct TcpFar final : Far {
    // The host upper-cased, as quillon.ini may give it: looked up.
    TcpFar() : Far("Connection refused", "The remote host closed the connection")
    { backLine = "LOCALHOST:" + std::to_string(server.Port()) + " connected"; }
    std::unique_ptr<Link> MakeLink() override  // backing off as the real one does, a quarter as long
    {
        auto link = std::make_unique<TcpLink>(TcpAddress{"LOCALHOST", server.Port()});
        link->SetBackOff(BackOff{.first = 500ms, .longest = 15s, .steady = 15s, .sayEvery = 15s});
        return link;
    }
    void Appear() override { ASSERT_TRUE(server.Listen() && server.Accept()); }
    void Vanish() override { server.StopListening(), server.Close(); }
    bool Send(std::string_view bytes) override { return server.Send(bytes); }
    std::string Received() override { return server.Received(); }
    bool Released() override { return server.ClientGone(0ms); }
    LoopbackServer server{false};
};

// Pieces that each tell where they are in the stream.
std::string Piece(int n)
{
    std::string piece = std::to_string(n) + ":";
    piece.resize(64 * 1024, char('a' + n % 26));
    return piece;
}

void Conforms(Far& far)
{
    const std::unique_ptr<Link> link = far.MakeLink();
    Events events(*link);
    link->SetReopening(true);
    const std::string frame("\xC0\x00 a frame \xDB\xDC\xC0", 14), cut("\xC0\x00 cut", 6);
    struct Step {
        const char* name;
        std::function<void()> action;
        Said events;  // what the link says after it
        Link::State state;
        // The device stays away a while: the link keeps trying without a word
        // or a busy loop (after a loss by the same timer).
        bool away = false;
    };
    const std::vector<Step> steps = {
        {"absent at the start", [&] { EXPECT_TRUE(link->Open()); }, {std::string("lost: ") + far.absentReason},
         Link::State::Lost, true},
        {"there", [&] { far.Appear(); }, {"back"}, Link::State::Open},
        {"bytes in pieces", [&] { far.Send(frame.substr(0, 5)), far.Send(frame.substr(5)); }, {"data:" + frame},
         Link::State::Open},
        {"a frame begun", [&] { far.Send(cut); }, {"data:" + cut}, Link::State::Open},
        {"gone in the middle of it", [&] { far.Vanish(); }, {std::string("lost: ") + far.goneReason},
         Link::State::Lost},
        {"back", [&] { far.Appear(); }, {"back"}, Link::State::Open},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.action();
        EXPECT_EQ(events.Next(step.events), step.events);
        EXPECT_EQ(link->GetState(), step.state);
        EXPECT_EQ(link->Write("x"), step.state == Link::State::Open);
        EXPECT_TRUE(step.state != Link::State::Open || link->BackLine() == far.backLine) << link->BackLine();
        if (step.away) {
            // Longer than the interval: at least one try falls into it.
            EXPECT_LT(CpuShareOfEventLoop(Link::kReopenInterval + 500ms), 0.05) << "a busy loop while away";
            EXPECT_EQ(events.Next({}), Said{}) << "a try that said something";
        }
    }

    // A device that does not read: blocks are taken whole until the queue is
    // full, then refused whole, said once; what went out is the blocks taken.
    std::string accepted;
    int refused = 0;
    for (int n = 0; refused < 3 && accepted.size() < 64u << 20; ++n) {
        if (link->Write(Piece(n)))
            accepted += Piece(n);
        else
            ++refused;
        QCoreApplication::processEvents();
        EXPECT_LE(link->BytesWaiting(), Link::kWriteQueueLimit);
    }
    ASSERT_EQ(refused, 3);
    EXPECT_EQ(events.Next({"event " + std::to_string(line_event::TransmitBufferFull)}),
              Said{"event " + std::to_string(line_event::TransmitBufferFull)});
    std::string got;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (got = far.Received()).size() >= accepted.size() + 1; }, 60000));
    EXPECT_TRUE(got == "x" + accepted) << "a block refused in part, or lost";

    // The end of the run: nothing more comes in, the last words still go out,
    // and nothing reopens.
    link->EndOfRun();
    ASSERT_TRUE(far.Send("late"));
    EXPECT_TRUE(link->Write("bye"));
    link->Close();
    EXPECT_EQ(link->GetState(), Link::State::Closed);
    EXPECT_TRUE(QTest::qWaitFor([&] { return far.Released(); }, 20000));
    EXPECT_TRUE(far.Received().ends_with("bye"));
    CpuShareOfEventLoop(Link::kReopenInterval + 500ms);
    EXPECT_EQ(events.Next({}), Said{});
    EXPECT_FALSE(link->Write("after"));
    EXPECT_TRUE(far.Released());
}

TEST(Link, SerialPortKeepsTheContract)
{
    SerialFar far;
    Conforms(far);
}

TEST(Link, KissServerKeepsTheContract)
{
    TcpFar far;
    Conforms(far);
    EXPECT_FALSE(far.server.HasPendingClient()) << "connected again after the end of the run";
}

// A server that accepts and drops every connection at once is asked again after waits that double, and
// said to be away once a minute instead of gone and back at every try; a connection that lasts is back,
// and after it the waits start afresh. The schedule shrunk a hundredfold.
TEST(Link, AKissServerThatDropsAtOnceIsAskedLessAndLessOften)
{
    const BackOff fast{.first = 20ms, .longest = 320ms, .steady = 600ms, .sayEvery = 400ms};
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::vector<std::chrono::steady_clock::time_point> accepted;
    std::vector<std::unique_ptr<QTcpSocket>> kept;
    bool keep = false;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* client = server.nextPendingConnection()) {
            accepted.push_back(std::chrono::steady_clock::now());
            kept.emplace_back(client)->setParent(nullptr);
            if (!keep)
                client->disconnectFromHost();
        }
    });
    TcpLink link(TcpAddress{"127.0.0.1", server.serverPort()});
    link.SetBackOff(fast);
    Events events(link);
    QObject::connect(&link, &Link::Reconnecting, [&](int tries) { events.said.push_back(LinkReconnectingLine(link.Name(), tries)); });
    link.SetReopening(true);
    link.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return accepted.size() >= 9; }, 30000));
    for (std::size_t i = 2; i < accepted.size(); ++i)  // the first retry after the first wait
        EXPECT_GE(accepted[i] - accepted[i - 1], fast.Delay(int(i) - 2) * 9 / 10) << "try " << i;
    const Said said = std::exchange(events.said, {});
    const std::string reconnecting = link.Name() + " reconnecting (";
    ASSERT_GE(said.size(), 3u);
    EXPECT_EQ(Said(said.begin(), said.begin() + 2), (Said{"back", "lost: The remote host closed the connection"}));
    int tries = 0;
    for (auto line = said.begin() + 2; line != said.end(); ++line) {  // "... reconnecting (N tries)", N growing
        ASSERT_TRUE(line->starts_with(reconnecting) && line->ends_with(" tries)")) << *line;
        EXPECT_GT(std::stoi(line->substr(reconnecting.size())), tries);
        tries = std::stoi(line->substr(reconnecting.size()));
    }
    EXPECT_LE(said.size(), 2 + accepted.size() / 3) << "said more often than once in sayEvery";

    keep = true;  // the next connection lasts: back once it has lasted, and the waits start afresh when it ends
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.said.empty() && events.said.back() == "back"; }, 30000));
    for (auto line = events.said.begin(); line + 1 != events.said.end(); ++line)
        EXPECT_TRUE(line->starts_with(reconnecting)) << *line;
    events.seen = events.said.size();
    const std::size_t last = accepted.size();
    const auto closed = std::chrono::steady_clock::now();
    kept.back()->disconnectFromHost();
    EXPECT_EQ(events.Next({"lost: The remote host closed the connection"}), Said{"lost: The remote host closed the connection"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return accepted.size() > last; }, 30000));
    EXPECT_LT(accepted.back() - closed, fast.longest) << "the waits did not start afresh";
}

}  // namespace
}  // namespace quillon::test
