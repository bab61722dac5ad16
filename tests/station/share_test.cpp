// The station's frames shared: other programs on its KISS server (Dire Wolf's kissutil among them) and APRS-IS
// through its igate, against servers and clients on 127.0.0.1.
#include <QProcess>
#include <QTcpSocket>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "frames.h"
#include "igate_link.h"
#include "kiss_server.h"
#include "loopback_server.h"
#include "station.h"
#include "station_folder.h"

namespace quillon::test {
namespace {

struct Lines final : StationView {
    std::vector<std::string> status;
    void ShowStatusLine(std::string_view line) override { status.emplace_back(line); }
    std::size_t Said(std::string_view part) const
    {
        return std::size_t(std::count_if(status.begin(), status.end(), [&](const std::string& l) { return l.find(part) != l.npos; }));
    }
};

// The station's input is a KISS server of the test's (fast, and it sees what the station sends back).
struct Input {
    LoopbackServer input;
};
struct Sharing : Input, StationFolder {
    explicit Sharing(const std::string& ini) : StationFolder("KISS_TCP=" + input.Address() + "\r\n" + ini), station(MakeStation())
    {
        station->AddView(view);
        station->Start();
        EXPECT_TRUE(input.Accept());
        EXPECT_TRUE(QTest::qWaitFor([&] { return station->Input().IsOpen(); }, 20000));
    }
    Lines view;
    std::unique_ptr<Station> station;
};

std::unique_ptr<QTcpSocket> Connect(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(socket->waitForConnected(20000));
    return socket;
}

TEST(KissServer, EveryClientGetsEveryFrameAsReceivedAStalledOneWholeFramesAndTheSeventeenthIsRefused)
{
    const quint16 port = FreeLoopbackPort();
    Sharing s("KISS_SERVER=" + std::to_string(port) + "\r\nMIRROR=NO\r\n");
    KissServer& server = *s.station->Sharing();
    QProcess kissutil;
    kissutil.start("kissutil", {"-h", "127.0.0.1", "-p", QString::number(port)});
    ASSERT_TRUE(kissutil.waitForStarted(20000));
    std::vector<std::unique_ptr<QTcpSocket>> readers;
    for (int i = 0; i < 6; ++i)
        readers.push_back(Connect(port));
    const auto stalled = Connect(port);  // reads nothing until the end
    stalled->setReadBufferSize(4096);    // and Qt takes no more from the system for it
    std::vector<std::unique_ptr<QTcpSocket>> more;
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Clients() == 8; }, 20000));
    for (int i = 0; i < 8; ++i)
        more.push_back(Connect(port));
    const auto seventeenth = Connect(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seventeenth->state() == QAbstractSocket::UnconnectedState; }, 20000));
    EXPECT_EQ(s.view.Said(" refused: 16 clients already"), 1u);
    more.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Clients() == 8; }, 20000));

    // A client that talks: garbage, then frames; nothing reaches the TNC.
    readers[0]->write("garbage\xC0\x00hello\xC0 more \xC0\x00" "again\xC0", 30);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.FramesFromClients() == 2; }, 20000));

    // Frames with escapes and another port among them; printable payloads, so kissutil prints each.
    std::vector<std::string> frames;
    // More than the system's buffers and the queue hold for the stalled client.
    for (int i = 0; i < 2000; ++i)
        frames.push_back(Kiss({{"APRS"}, {"N0CALL", i % 16}, {{"WIDE1", 1, true}}, 0x03, 0xF0,
                               "#" + std::to_string(i) + " " + std::string(std::size_t(600 + i % 300), char('a' + i % 26))},
                              i % 100 == 8 ? 0x10 : 0x00));
    frames[5] = Kiss({{"APRS"}, {"N0CALL"}, {}, 0x03, 0xF0, "#5 \xC0\xDB escaped"});
    // A hundred frames at a time, as a busy channel brings them; the readers keep up, the stalled one cannot.
    std::vector<std::string> got(readers.size());
    std::string expected;
    for (std::size_t first = 0; first < frames.size(); first += 100) {
        const std::string piece = Joined({frames.begin() + first, frames.begin() + first + 100});
        ASSERT_TRUE(s.input.Send("noise" + piece));
        expected += piece;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            bool all = true;
            for (std::size_t i = 0; i < readers.size(); ++i)
                all = (got[i] += readers[i]->readAll().toStdString()).size() >= expected.size() && all;
            return all;
        }, 60000)) << first;
    }
    for (const std::string& g : got)
        EXPECT_TRUE(g == expected) << g.size() << " of " << expected.size() << " bytes";
    std::string printed;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        printed += kissutil.readAllStandardOutput().toStdString();
        return printed.find("#1999 ") != std::string::npos;
    }, 60000)) << printed.size();
    std::size_t lines = 0;
    for (std::size_t at = printed.find(":#"); at != std::string::npos; at = printed.find(":#", at + 1))
        ++lines;
    EXPECT_EQ(lines, frames.size()) << "kissutil's frame lines";

    // The stalled client lost frames, each one whole: what it got is frames of the stream, in order.
    EXPECT_GT(server.FramesDropped(), 0u);
    std::string late;
    std::size_t at = 0, whole = 0;
    const auto wholeFrames = [&] {
        late += stalled->readAll().toStdString();
        at = 0, whole = 0;
        for (const std::string& f : frames)
            if (late.compare(at, f.size(), f) == 0)
                at += f.size(), ++whole;
        return whole + server.FramesDropped() == frames.size();
    };
    EXPECT_TRUE(QTest::qWaitFor(wholeFrames, 60000)) << whole << " whole frames, " << server.FramesDropped() << " dropped";
    EXPECT_EQ(at, late.size()) << "a part of a frame, after " << whole << " whole ones";

    EXPECT_EQ(s.view.Said("sends frames: not passed to the TNC"), 1u);
    EXPECT_EQ(s.input.Received(), "") << "a client's bytes reached the TNC";
    kissutil.kill();
    kissutil.waitForFinished();
}

TEST(KissServer, AThousandConnectsAndClosesLeaveNothingBehind)
{
    const quint16 port = FreeLoopbackPort();
    Sharing s("KISS_SERVER=127.0.0.1:" + std::to_string(port) + "\r\n");
    KissServer& server = *s.station->Sharing();
    for (int i = 0; i < 1000; ++i) {
        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(c.waitForConnected(20000)) << i;
        // " connected": the input's line and one for each client so far.
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.view.Said(" connected") == std::size_t(i) + 2; }, 20000)) << i;
        if (i % 2)
            c.abort();
        else
            c.disconnectFromHost();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.view.Said(" disconnected") == 1000; }, 60000)) << s.view.Said(" disconnected");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(server.Clients(), 0);
    EXPECT_EQ(server.findChildren<QTcpSocket*>().size(), 0);
    EXPECT_EQ(s.view.Said("KISS client 127.0.0.1:"), 2000u);
}

const Ax25Address kSrc{"OH2XYZ", 9}, kDst{"APRS"}, kWide1{"WIDE1", 1, true}, kWide2{"WIDE2", 1};

// Frames heard, and what APRS-IS gets of them.
const std::pair<std::string, std::string> kGating[] = {
    {Kiss({kDst, kSrc, {kWide1, kWide2}, 0x03, 0xF0, "!6028.51N/02505.68E#\r"}),
     "OH2XYZ-9>APRS,WIDE1-1*,WIDE2-1,qAO,N0CALL-10:!6028.51N/02505.68E#\r\n"},
    {Kiss({kDst, kSrc, {}, 0x03, 0xF0, "}DL1ABC>APRS,WIDE2*:>inner"}), "DL1ABC>APRS,WIDE2*,qAO,N0CALL-10:>inner\r\n"},
    {Kiss({kDst, kSrc, {}, 0x03, 0xF0, "}DL1ABC>APRS,TCPIP*:>from the net"}), ""},
};  // every rule: the core's table

TEST(Igate, LogsInGatesByTheRulesAnswersNoCommentKeepsNothingWhileAwayAndComesBack)
{
    LoopbackServer aprsIs;
    Sharing s("IGATE_CALL=N0CALL-10\r\nIGATE_PASSCODE=13023\r\nIGATE_SERVER=" + aprsIs.Address() +
              "\r\nIGATE_FILTER=m/50\r\n");
    IgateLink& igate = *s.station->Igate();
    const std::string login = "user N0CALL-10 pass 13023 vers Quillon 8.5 filter m/50\r\n";
    ASSERT_TRUE(aprsIs.Accept());
    ASSERT_TRUE(aprsIs.Send("# aprsc 2.1.14\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return aprsIs.Received() == login; }, 20000)) << aprsIs.Received();

    std::string heard, gated;
    for (const auto& [frame, line] : kGating)
        heard += frame, gated += line;
    // A server that floods comments: the station reads them, answers none, and keeps receiving.
    std::string flood;
    for (int i = 0; i < 20000; ++i)
        flood += "# keepalive " + std::to_string(i) + " 07 Dec 2026 13:00:00 GMT T2FINLAND 10.0.0.1:14580\r\n";
    ASSERT_TRUE(aprsIs.Send(flood));
    ASSERT_TRUE(s.input.Send(heard));
    ASSERT_TRUE(QTest::qWaitFor([&] { return aprsIs.Received().size() >= login.size() + gated.size(); }, 20000));
    EXPECT_EQ(aprsIs.Received(), login + gated);
    EXPECT_EQ(igate.Gated(), 2u);
    EXPECT_EQ(igate.NotGated(), std::size(kGating) - 2);

    // The server goes away: what is heard meanwhile is never sent; back, it gets a fresh login and new frames only.
    aprsIs.StopListening();
    aprsIs.Reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !igate.Connection().IsOpen(); }, 20000));
    ASSERT_TRUE(s.input.Send(kGating[0].first));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.station->Counts().FrameCount == int(std::size(kGating)) + 1; }, 20000));
    ASSERT_TRUE(aprsIs.Listen());
    ASSERT_TRUE(aprsIs.Accept());
    ASSERT_TRUE(QTest::qWaitFor([&] { return aprsIs.Received() == login; }, 20000)) << aprsIs.Received();
    ASSERT_TRUE(s.input.Send(kGating[1].first));
    ASSERT_TRUE(QTest::qWaitFor([&] { return aprsIs.Received().size() >= login.size() + kGating[1].second.size(); }, 20000));
    EXPECT_EQ(aprsIs.Received(), login + kGating[1].second);
    EXPECT_EQ(igate.Gated(), 3u);
    EXPECT_EQ(s.view.Said("APRS-IS " + aprsIs.Address() + " connected"), 2u);
    EXPECT_EQ(s.view.Said("APRS-IS " + aprsIs.Address() + " lost: "), 1u);
}

TEST(Igate, AReadOnlyLoginGatesNothingAndSaysSoOnce)
{
    LoopbackServer aprsIs;
    Sharing s("IGATE_CALL=N0CALL\r\nIGATE_SERVER=" + aprsIs.Address() + "\r\n");
    ASSERT_TRUE(aprsIs.Accept());
    const std::string login = "user N0CALL pass -1 vers Quillon 8.5\r\n";
    ASSERT_TRUE(QTest::qWaitFor([&] { return aprsIs.Received() == login; }, 20000));
    ASSERT_TRUE(s.input.Send(kGating[0].first + kGating[0].first));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.station->Igate()->NotGated() == 2; }, 20000));
    s.station->Stop();  // what was written goes out first
    ASSERT_TRUE(aprsIs.ClientGone());
    EXPECT_EQ(aprsIs.Received(), login);
    EXPECT_EQ(s.view.Said("is read-only (IGATE_PASSCODE -1 or none): nothing is gated"), 1u);
}

}  // namespace
}  // namespace quillon::test
