// The time-server query against a real RFC 868 server on 127.0.0.1: the
// status-box lines in order and what the clock setter was asked to set.
#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/system_clock_setter.h"
#include "timesvc/clock_sync.h"
#include "timesvc/time_server_query.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

constexpr int kPatience = 20'000;  // ms; a limit for a wait, never a delay
const std::string kOpening = "opening connection to TIMESERVER [127.0.0.1]";
const std::string kMade = "   winsock connection made";
const std::string kClosing = "   closing connection";
const std::string kClosed = "   sockets closed";
const std::string kBegin = "   beginning system clock synchronization";
const std::string kInvalid = "Time passed not valid. Clock not synchronised";

std::string Bytes(std::initializer_list<unsigned char> values)
{
    return std::string(values.begin(), values.end());
}

QByteArray ToQt(const std::string& bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::vector<std::string> AsText(const std::vector<DateTime>& times)
{
    std::vector<std::string> text;
    for (const DateTime t : times)
        text.push_back(FormatDateTime(t));
    return text;
}

// One run of the query, as start-up does it, with the status box and the
// clock setter watched.
struct Query {
    std::vector<std::string> lines;
    FakeClockSetter setter;
    TimeServerQuery query{[this](std::string_view line) { lines.emplace_back(line); }, setter};

    bool WaitFor(const std::string& line)
    {
        return QTest::qWaitFor(
            [&] { return std::find(lines.begin(), lines.end(), line) != lines.end(); }, kPatience);
    }
};

// An RFC 868 server: each client that connects gets handed to `serve`.
class LocalServer {
public:
    explicit LocalServer(std::function<void(QTcpSocket*)> serve) : serve_(std::move(serve))
    {
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = server_.nextPendingConnection())
                serve_(client);
        });
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    }
    quint16 Port() const { return server_.serverPort(); }

private:
    QTcpServer server_;
    std::function<void(QTcpSocket*)> serve_;
};

struct ExchangeCase {
    const char* situation;
    std::string reply;
    std::chrono::milliseconds serverDelay;  // before the server answers and closes
    bool setterSucceeds;
    std::vector<std::string> lines;         // after the opening line
    std::vector<std::string> timesSet;
};

TEST(TimeServerQuery, ReportsAnExchangeWithAServerAndSetsTheClock)
{
    const std::string done = "clock synchronised succesfully with NTP server 127.0.0.1";
    const std::vector<ExchangeCase> cases = {
        {"a normal reply", Bytes({0xEE, 0xBD, 0xD2, 0x80}), 0ms, true,
         {kMade, "data received: EE BD D2 80  (4 bytes)", kClosing, kClosed, kBegin, done},
         {"2026-12-05 00:00:00"}},
        {"a server that closes without sending", "", 0ms, true,
         {kMade, kClosing, kClosed, kInvalid}, {}},
        {"a server slower than the connect timeout, once connected",
         Bytes({0x29, 0x49, 0x1C, 0x00}), 2500ms, true,
         {kMade, "data received: 29 49 1C 00  (4 bytes)", kClosing, kClosed, kBegin, done},
         {"1921-12-13 20:45:52"}},
        {"a time before 1921", Bytes({0x29, 0x49, 0x1B, 0xFF}), 0ms, true,
         {kMade, "data received: 29 49 1B FF  (4 bytes)", kClosing, kClosed}, {}},
        {"a program without the right to set the clock", Bytes({0xEE, 0xBD, 0xD2, 0x80}), 0ms,
         false,
         {kMade, "data received: EE BD D2 80  (4 bytes)", kClosing, kClosed, kBegin,
          "SetSystemTime failed. Clock not synchronised"},
         {"2026-12-05 00:00:00"}},
        {"a line of text instead of four bytes", "OK\r\n", 0ms, true,
         {kMade, "data received: 4F 4B 0D 0A  (4 bytes)", kClosing, kClosed, kBegin, done},
         {"1942-02-27 04:56:42"}},
    };
    for (const ExchangeCase& c : cases) {
        SCOPED_TRACE(c.situation);
        LocalServer server([&](QTcpSocket* client) {
            QTimer::singleShot(c.serverDelay, client, [client, reply = c.reply] {
                client->write(ToQt(reply));
                client->disconnectFromHost();
            });
        });
        Query run;
        run.setter.SetSucceed(c.setterSucceeds);
        run.query.SetRemotePortForTesting(server.Port());
        run.query.SetConnectTimeoutForTesting(1000ms);
        run.query.Start("127.0.0.1");

        ASSERT_TRUE(run.WaitFor(kClosed));
        std::vector<std::string> expected{kOpening};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(run.lines, expected);
        EXPECT_EQ(AsText(run.setter.Received()), c.timesSet);
        EXPECT_EQ(run.query.TimeServerReply(), c.reply);
    }
}

TEST(TimeServerQuery, JoinsAReplySplitOverTwoArrivals)
{
    QTcpSocket* client = nullptr;
    LocalServer server([&](QTcpSocket* accepted) {
        client = accepted;
        client->write(ToQt(Bytes({0xEE, 0xBD, 0xD2})));
        client->flush();
    });
    Query run;
    run.query.SetRemotePortForTesting(server.Port());
    run.query.Start("127.0.0.1");

    ASSERT_TRUE(run.WaitFor("data received: EE BD D2  (3 bytes)"));
    client->write(ToQt(Bytes({0x80})));
    client->disconnectFromHost();
    ASSERT_TRUE(run.WaitFor(kClosed));

    const std::vector<std::string> expected = {
        kOpening, kMade, "data received: EE BD D2  (3 bytes)", "data received: 80  (1 bytes)",
        kClosing, kClosed, kBegin, "clock synchronised succesfully with NTP server 127.0.0.1"};
    EXPECT_EQ(run.lines, expected);
    EXPECT_EQ(AsText(run.setter.Received()), std::vector<std::string>{"2026-12-05 00:00:00"});
}

TEST(TimeServerQuery, TakesAMegabyteInAndRejectsIt)
{
    std::string flood(1 << 20, '\0');
    for (std::size_t i = 0; i < flood.size(); ++i)
        flood[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    LocalServer server([&](QTcpSocket* client) {
        client->write(ToQt(flood));
        client->disconnectFromHost();
    });
    Query run;
    run.query.SetRemotePortForTesting(server.Port());
    run.query.Start("127.0.0.1");
    ASSERT_TRUE(run.WaitFor(kInvalid));

    ASSERT_GE(run.lines.size(), 6u);
    EXPECT_EQ(run.lines[0], kOpening);
    EXPECT_EQ(run.lines[1], kMade);
    const std::vector<std::string> tail(run.lines.end() - 3, run.lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{kClosing, kClosed, kInvalid}));
    // The data lines between them, dumped whole, give back every byte sent.
    std::string dumped;
    std::int64_t counted = 0;
    for (std::size_t i = 2; i + 3 < run.lines.size(); ++i) {
        const std::string& line = run.lines[i];
        const std::size_t bracket = line.rfind(" (");
        ASSERT_EQ(line.rfind("data received: ", 0), 0u) << i;
        const std::int64_t n = std::stoll(line.substr(bracket + 2));
        EXPECT_EQ(line.substr(bracket), " (" + std::to_string(n) + " bytes)");
        EXPECT_EQ(line.size(), 15 + 3 * static_cast<std::size_t>(n) + (line.size() - bracket));
        counted += n;
        dumped += line.substr(15, bracket - 15);
    }
    EXPECT_EQ(counted, static_cast<std::int64_t>(flood.size()));
    EXPECT_EQ(dumped, DataReceivedLine(flood, counted).substr(15, 3 * flood.size()));
    EXPECT_EQ(run.query.TimeServerReply(), flood);
    EXPECT_TRUE(run.setter.Received().empty());
}

TEST(TimeServerQuery, EndsQuietlyWhileAServerHoldsTheConnection)
{
    LocalServer server([](QTcpSocket* client) { client->write(ToQt(Bytes({0xEE, 0xBD}))); });
    std::vector<std::string> lines;
    FakeClockSetter setter;
    {
        TimeServerQuery query([&](std::string_view line) { lines.emplace_back(line); }, setter);
        query.SetRemotePortForTesting(server.Port());
        query.Start("127.0.0.1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return lines.size() == 3; }, kPatience));
        EXPECT_EQ(query.Winsock1.State(), winsock_state::Connected);
    }  // the program ends with the connection still open
    EXPECT_EQ(lines, (std::vector<std::string>{kOpening, kMade, "data received: EE BD  (2 bytes)"}));
    EXPECT_TRUE(setter.Received().empty());
}

// A listening socket whose queue of accepted connections is full: the
// kernel drops further connection requests, so a client's attempt gets no
// answer at all, as with a host that has gone silent.
class SilentListener {
public:
    SilentListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~SilentListener()
    {
        ::close(filler_);
        ::close(listener_);
    }
    quint16 Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    quint16 port_ = 0;
};

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();  // free again once probe is gone
}

TEST(TimeServerQuery, ReportsAConnectionThatFails)
{
    struct FailureCase {
        const char* situation;
        std::string host;
        enum { ClosedPort, SilentHost } target;
        std::chrono::milliseconds connectTimeout;
        std::vector<std::string> lines;
    };
    const std::vector<FailureCase> cases = {
        {"nothing listens on the port", "127.0.0.1", FailureCase::ClosedPort, 30s,
         {kOpening, "   error received: Connection refused", "   error received: 10061",
          "sockets closed"}},
        {"a host name that does not exist", "TIMESERVER.INVALID", FailureCase::ClosedPort, 30s,
         {"opening connection to TIMESERVER [TIMESERVER.INVALID]",
          "   error received: Host not found", "   error received: 11001", "sockets closed"}},
        {"a host that never answers", "127.0.0.1", FailureCase::SilentHost, 300ms,
         {kOpening, "   error received: Connection timed out", "   error received: 10060",
          "sockets closed"}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.situation);
        SilentListener silent;
        Query run;
        run.query.SetRemotePortForTesting(c.target == FailureCase::SilentHost ? silent.Port()
                                                                              : ClosedPort());
        run.query.SetConnectTimeoutForTesting(c.connectTimeout);
        run.query.Start(c.host);
        ASSERT_TRUE(run.WaitFor("sockets closed"));
        EXPECT_EQ(run.lines, c.lines);
        EXPECT_TRUE(run.setter.Received().empty());
        EXPECT_EQ(run.query.Winsock1.State(), winsock_state::Closed);
    }
}

TEST(TimeServerQuery, AsksNothingWithoutATimeServer)
{
    Query run;
    run.query.Start("");
    EXPECT_TRUE(run.lines.empty());
    EXPECT_EQ(run.query.Winsock1.State(), winsock_state::Closed);
}

}  // namespace
}  // namespace quillon
