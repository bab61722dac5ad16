// The real program against the real Dire Wolf (Debian package direwolf),
// the soundcard modem most stations run, as its KISS server on 127.0.0.1.
// Dire Wolf reads the audio of known packets, made by its own gen_packets,
// from its standard input (ADEVICE stdin null) and passes every frame it
// decodes to each of its KISS clients: Quillon, with KISS_TCP pointing at
// it, and a witness client of the test's own. Midway Dire Wolf is stopped
// (SIGTERM, as a service is stopped) and started again with the rest of the
// audio. Quillon's raw log must hold exactly the frames Dire Wolf sent, byte
// for byte, all of the packets made, those after the restart included.
//
// Skipped when Dire Wolf is not installed (scripts/direwolf-check installs it
// and runs this alone). Dire Wolf 1.6 listens on every interface, on a port
// that was free on 127.0.0.1; everything connects to 127.0.0.1 only.
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "frames.h"
#include "poll_until.h"
#include "program.h"

namespace quillon::test {
namespace {

constexpr int kPackets = 200;       // in two halves, one for each run of Dire Wolf
constexpr int kWavHeaderBytes = 44;  // gen_packets writes a plain RIFF header; the samples follow

// Packet i in the monitor format gen_packets reads: a status report that
// names its number, of a length that varies.
std::string Packet(int i)
{
    char text[64];
    std::snprintf(text, sizeof text, "N0CALL-%d>APQLN,WIDE1-1:>Quillon check %04d of %04d ", i % 16, i, kPackets);
    return text + std::string(std::size_t(i % 57), char('a' + i % 26)) + "\n";
}

// The frames in a KISS stream or a raw log, each as its bytes.
std::vector<std::string> FramesOf(std::string_view bytes, bool rawLog)
{
    struct : ReceiveSink {
        std::vector<std::string> frames;
        void RawLog(std::string_view frame) override { frames.emplace_back(frame); }
    } sink;
    FeedReceiver(bytes, rawLog, sink);
    return sink.frames;
}

// One run of Dire Wolf on the port, with the witness as its first client.
struct Direwolf {
    Direwolf(const QString& config, quint16 port)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("direwolf"), {"-c", config, "-t", "0", "-q", "hd"});
        // Ready once it listens; the witness is its first client.
        ready = QTest::qWaitFor([&] { return Output().find("Ready to accept KISS TCP client") != std::string::npos; },
                                30000);
        witness.connectToHost(QStringLiteral("127.0.0.1"), port);
        ready = ready && witness.waitForConnected(30000);
    }
    std::string Output() { return output += process.readAll().toStdString(); }
    // The clients it has taken on, the witness among them.
    std::size_t Clients() { return Count(Output(), "Attached to KISS TCP client"); }
    // The frame lines it printed: "[0.3] N0CALL-1>APQLN,...".
    std::size_t Decoded()
    {
        std::size_t n = 0;
        const std::string out = "\n" + Output();
        for (std::size_t at = out.find("\n[0"); at != std::string::npos; at = out.find("\n[0", at + 1))
            ++n;
        return n;
    }
    std::string Witnessed() { return witnessed += witness.readAll().toStdString(); }

    QProcess process;
    QTcpSocket witness;
    std::string output, witnessed;
    bool ready = false;
};

TEST(Direwolf, QuillonLogsExactlyTheFramesDireWolfDecodedAcrossARestartOfDireWolf)
{
    for (const char* program : {"direwolf", "gen_packets"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            GTEST_SKIP() << program << " is not installed (Debian package direwolf)";
    QTemporaryDir work;
    const auto file = [&](const char* name) { return work.filePath(QString::fromLatin1(name)); };

    // The audio of each half of the packets.
    std::string audio[2];
    for (int half = 0; half < 2; ++half) {
        std::string text;
        for (int i = half * kPackets / 2; i < (half + 1) * kPackets / 2; ++i)
            text += Packet(i);
        WriteFile(file("packets.txt").toStdString(), text);
        const ProgramRun run = RunProgram("gen_packets", {"-o", file("packets.wav"), file("packets.txt")});
        ASSERT_EQ(run.status, 0) << run.output << run.errors;
        audio[half] = ReadFile(file("packets.wav").toStdString()).substr(kWavHeaderBytes);
    }

    // A port free on 127.0.0.1, and Dire Wolf's configuration for it.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    WriteFile(file("direwolf.conf").toStdString(),
              "ADEVICE stdin null\nARATE 44100\nCHANNEL 0\nMYCALL N0CALL\nMODEM 1200\nAGWPORT 0\nKISSPORT " +
                  std::to_string(port) + "\n");

    // Quillon first: the modem is not up yet, as often at boot.
    ProgramFolder folder;
    folder.Write("quillon.ini", "KISS_TCP=127.0.0.1:" + std::to_string(port) + "\r\nTIMEFRAMES=YES\r\n");
    RunningQuillon q(folder, {"QUILLON_STATUS_TO_STDERR=1"});
    const std::string server = "127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count(q.Output(), server + " lost: Connection refused\n") == 1; }, 60000))
        << q.Output();

    std::size_t decoded[2] = {0, 0};
    std::string witnessed;
    for (int half = 0; half < 2; ++half) {
        SCOPED_TRACE(half == 0 ? "first run of Dire Wolf" : "Dire Wolf started again");
        Direwolf dw(file("direwolf.conf"), port);
        ASSERT_TRUE(dw.ready) << dw.Output();
        // Quillon connects within its retry interval; the audio goes in once
        // Dire Wolf has taken on both clients.
        ASSERT_TRUE(QTest::qWaitFor([&] { return Count(q.Output(), server + " connected\n") == half + 1u; }, 60000))
            << q.Output();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dw.Clients() == 2; }, 60000)) << dw.Output();
        dw.process.write(audio[half].data(), qint64(audio[half].size()));
        const std::size_t sent = std::size_t(kPackets / 2 * (half + 1));
        const auto allThere = [&] {
            return dw.Decoded() == std::size_t(kPackets / 2) && FramesOf(witnessed + dw.Witnessed(), false).size() == sent &&
                   FramesOf(folder.ReadLog(".kss"), true).size() >= sent;
        };
        EXPECT_TRUE(QTest::qWaitFor(allThere, 120000)) << dw.Decoded() << " decoded\n" << dw.Output();
        decoded[half] = dw.Decoded();
        witnessed += dw.Witnessed();
        if (half == 0) {
            // Stopped as a service is stopped; Quillon says so once and waits quietly.
            dw.process.terminate();
            ASSERT_TRUE(dw.process.waitForFinished(30000));
            ASSERT_TRUE(QTest::qWaitFor([&] { return Count(q.Output(), server + " lost: ") == 2; }, 60000))
                << q.Output();
            const double cpu = q.CpuSeconds();
            EXPECT_FALSE(PollUntil([&] { return !q.Running() || q.CpuSeconds() - cpu > 0.1; }, 3s, 100ms))
                << "the program ended or kept the processor busy";
        } else {
            EXPECT_EQ(q.Stop(), 0) << q.Output();
            dw.process.closeWriteChannel();  // the end of its audio: it ends by itself
            EXPECT_TRUE(dw.process.waitForFinished(30000));
        }
    }

    const std::vector<std::string> logged = FramesOf(folder.ReadLog(".kss"), true);
    const std::vector<std::string> sentByDirewolf = FramesOf(witnessed, false);
    EXPECT_TRUE(logged == sentByDirewolf) << "the raw log is not what Dire Wolf sent";
    ASSERT_EQ(logged.size(), std::size_t(kPackets));
    for (int i = 0; i < kPackets; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "Quillon check %04d ", i);
        EXPECT_NE(logged[std::size_t(i)].find(number), std::string::npos) << "frame " << i << " is another packet";
    }
    const std::string output = q.Output();
    EXPECT_EQ(Count(output, server + " lost: Connection refused\n"), 1u) << output;
    EXPECT_EQ(Count(output, server + " lost: The remote host closed the connection\n"), 1u) << output;
    EXPECT_EQ(Count(output, server + " connected\n"), 2u) << output;
    std::printf("Dire Wolf check: %d packets made as audio (%d before the restart, %d after); Dire Wolf decoded "
                "%zu + %zu and sent %zu frames to its KISS clients; Quillon logged %zu, %s\n",
                kPackets, kPackets / 2, kPackets / 2, decoded[0], decoded[1], sentByDirewolf.size(), logged.size(),
                logged == sentByDirewolf ? "byte for byte the same" : "NOT the same");
}

}  // namespace
}  // namespace quillon::test
