// The real program against the real Dire Wolf (Debian package direwolf),
// the soundcard modem most stations run, as its KISS server on 127.0.0.1.
// Dire Wolf reads the audio of known packets, made by its own gen_packets,
// from its standard input (ADEVICE stdin null) and passes every frame it
// decodes to each of its KISS clients: Quillon, with KISS_TCP pointing at
// it, and a witness client of our own. Quillon starts first, while nothing
// listens (as at boot). Halfway Dire Wolf is stopped (SIGTERM, as a service
// is stopped) and started again with the rest of the audio.
//
// Quillon's raw log must hold exactly the frames Dire Wolf sent, byte for
// byte: every packet made, in order, those after the restart included; the
// losses and returns said once each, and Quillon idle while Dire Wolf is
// away. Prints the figures; exits 0 when all holds, 1 when not, and 77 (a
// skipped CTest) when Dire Wolf is not installed. Dire Wolf 1.6 listens on
// every interface, on a port found free on 127.0.0.1; everything here
// connects to 127.0.0.1 only. About 10 seconds.
//
//   bench_direwolf [--packets N]    N (even) defaults to 200
#include <QtCore/qtestsupport_core.h>
#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "frames.h"
#include "poll_until.h"
#include "program.h"

using namespace quillon;
using namespace quillon::bench;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kWavHeaderBytes = 44;  // gen_packets writes a plain RIFF header; the samples follow

// Packet i in the monitor format gen_packets reads: a status report that
// names its number, of a length that varies.
std::string Packet(int i, int count)
{
    char text[64];
    std::snprintf(text, sizeof text, "N0CALL-%d>APQLN,WIDE1-1:>Quillon check %04d of %04d ", i % 16, i, count);
    return text + std::string(std::size_t(i % 57), char('a' + i % 26)) + "\n";
}

// The frames in a KISS stream or a raw log, each as its bytes.
std::vector<std::string> FramesOf(std::string_view bytes, bool rawLog)
{
    struct : ReceiveSink {
        std::vector<std::string> frames;
        void RawLog(std::string_view frame) override { frames.emplace_back(frame); }
    } sink;
    test::FeedReceiver(bytes, rawLog, sink);
    return sink.frames;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s)
{
    return QTest::qWaitFor(done, int(limit.count()));
}

// One run of Dire Wolf on the port, with the witness as its first client.
struct Direwolf {
    Direwolf(const QString& config, quint16 port)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("direwolf"), {"-c", config, "-t", "0", "-q", "hd"});
        ready = WaitFor([&] { return Output().find("Ready to accept KISS TCP client") != std::string::npos; });
        witness.connectToHost(QStringLiteral("127.0.0.1"), port);
        ready = ready && WaitFor([&] { return witness.state() == QAbstractSocket::ConnectedState; });
    }
    std::string Output() { return output += process.readAll().toStdString(); }
    // The clients it has taken on, the witness among them.
    std::size_t Clients() { return test::Count(Output(), "Attached to KISS TCP client"); }
    // The frame lines it printed: "[0.3] N0CALL-1>APQLN,...".
    std::size_t Decoded() { return test::Count("\n" + Output(), "\n[0"); }
    std::string Witnessed() { return witnessed += witness.readAll().toStdString(); }

    QProcess process;
    QTcpSocket witness;
    std::string output, witnessed;
    bool ready = false;
};

int Fail(const std::string& what, const std::string& output)
{
    std::fprintf(stderr, "bench_direwolf: %s\n%s\n", what.c_str(), output.c_str());
    Result("Dire Wolf as the KISS server, restarted halfway", "failed", "every frame, byte for byte", "MISSED");
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int packets = 200;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--packets") == 0)
            packets = std::stoi(argv[++i]) / 2 * 2;
    for (const char* program : {"direwolf", "gen_packets"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            std::printf("bench_direwolf: %s is not installed (Debian package direwolf): skipped\n", program);
            return 77;
        }
    QTemporaryDir work;
    const auto file = [&](const char* name) { return work.filePath(QString::fromLatin1(name)); };

    // The audio of each half of the packets.
    std::string audio[2];
    for (int half = 0; half < 2; ++half) {
        std::string text;
        for (int i = half * packets / 2; i < (half + 1) * packets / 2; ++i)
            text += Packet(i, packets);
        test::WriteFile(file("packets.txt").toStdString(), text);
        const test::ProgramRun run = test::RunProgram("gen_packets", {"-o", file("packets.wav"), file("packets.txt")});
        if (run.status != 0)
            return Fail("gen_packets failed", run.output + run.errors);
        audio[half] = test::ReadFile(file("packets.wav").toStdString()).substr(kWavHeaderBytes);
    }

    // A port free on 127.0.0.1, and Dire Wolf's configuration for it.
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return Fail("no free port on 127.0.0.1", "");
    const quint16 port = probe.serverPort();
    probe.close();
    test::WriteFile(file("direwolf.conf").toStdString(),
                    "ADEVICE stdin null\nARATE 44100\nCHANNEL 0\nMYCALL N0CALL\nMODEM 1200\nAGWPORT 0\nKISSPORT " +
                        std::to_string(port) + "\n");

    // Quillon first: the modem is not up yet, as often at boot.
    const std::string server = "127.0.0.1:" + std::to_string(port);
    test::ProgramFolder folder;
    folder.Write("quillon.ini", "KISS_TCP=" + server + "\r\nTIMEFRAMES=YES\r\n");
    test::RunningQuillon q(folder, {"QUILLON_STATUS_TO_STDERR=1"});
    if (!WaitFor([&] { return test::Count(q.Output(), server + " lost: Connection refused\n") == 1; }))
        return Fail("quillon did not say that nothing listens", q.Output());

    std::size_t decoded[2] = {0, 0};
    std::string witnessed;
    double awaySeconds = 0, awayCpu = 0;
    for (int half = 0; half < 2; ++half) {
        Direwolf dw(file("direwolf.conf"), port);
        if (!dw.ready)
            return Fail("Dire Wolf did not start or take the witness", dw.Output());
        // Quillon connects within its retry interval; the audio goes in once
        // Dire Wolf has taken on both clients.
        if (!WaitFor([&] { return test::Count(q.Output(), server + " connected\n") == half + 1u; }))
            return Fail("quillon did not connect", q.Output());
        if (!WaitFor([&] { return dw.Clients() == 2; }))
            return Fail("Dire Wolf did not take on quillon", dw.Output());
        dw.process.write(audio[half].data(), qint64(audio[half].size()));
        const std::size_t sent = std::size_t(packets / 2 * (half + 1));
        const auto allThere = [&] {
            return dw.Decoded() == std::size_t(packets / 2) &&
                   FramesOf(witnessed + dw.Witnessed(), false).size() == sent &&
                   FramesOf(folder.ReadLog(".kss"), true).size() >= sent;
        };
        const bool there = WaitFor(allThere, 120s);
        decoded[half] = dw.Decoded();
        witnessed += dw.Witnessed();
        if (!there)
            return Fail(std::to_string(decoded[half]) + " decoded, not all of them delivered",
                        dw.Output() + q.Output());
        if (half == 1) {
            q.Stop();
            dw.process.closeWriteChannel();  // the end of its audio: it ends by itself
            dw.process.waitForFinished(30000);
            break;
        }
        // Stopped as a service is stopped; Quillon says so once and waits quietly.
        dw.process.terminate();
        dw.process.waitForFinished(30000);
        if (!WaitFor([&] { return test::Count(q.Output(), server + " lost: ") == 2; }))
            return Fail("quillon did not say that Dire Wolf was gone", q.Output());
        const double cpu = CpuSeconds(pid_t(q.Pid()));
        const Stopwatch away;
        test::PollUntil([&] { return !q.Running(); }, 3s, 100ms);
        awayCpu = CpuSeconds(pid_t(q.Pid())) - cpu;
        awaySeconds = away.Seconds();
    }

    const std::vector<std::string> logged = FramesOf(folder.ReadLog(".kss"), true);
    const std::vector<std::string> sentByDirewolf = FramesOf(witnessed, false);
    bool inOrder = logged.size() == std::size_t(packets);
    for (int i = 0; inOrder && i < packets; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "Quillon check %04d ", i);
        inOrder = logged[std::size_t(i)].find(number) != std::string::npos;
    }
    const std::string output = q.Output();
    const bool saidOnce = test::Count(output, server + " lost: Connection refused\n") == 1 &&
                          test::Count(output, server + " lost: The remote host closed the connection\n") == 1 &&
                          test::Count(output, server + " connected\n") == 2;
    const double awayShare = awaySeconds > 0 ? 100 * awayCpu / awaySeconds : 0;
    const bool ok = logged == sentByDirewolf && inOrder && saidOnce && awayShare < 5;
    std::printf(
        "direwolf: %d packets made as audio, %d before the restart and %d after; Dire Wolf decoded %zu + %zu "
        "and sent %zu frames to its KISS clients; Quillon logged %zu, %s, %s; the losses and returns %s; "
        "Quillon's CPU while Dire Wolf was away: %.2f%% of a core\n",
        packets, packets / 2, packets / 2, decoded[0], decoded[1], sentByDirewolf.size(), logged.size(),
        logged == sentByDirewolf ? "byte for byte the same" : "NOT the same",
        inOrder ? "every packet in order" : "NOT every packet in order",
        saidOnce ? "said once each" : "NOT said once each", awayShare);
    if (!ok)
        std::printf("%s\n", output.c_str());
    Result("Dire Wolf as the KISS server, restarted halfway",
           std::to_string(logged.size()) + " of " + std::to_string(packets) + " frames logged, byte for byte",
           "every frame, byte for byte", Verdict(ok));
    return ok ? 0 : 1;
}
