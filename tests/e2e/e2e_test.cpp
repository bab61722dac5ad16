// The real quillon binary and its tools as a user runs them.
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>

#include "e2e_station.h"
#include "loopback_server.h"
#include "tnc/time_frame.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::system_clock;

TEST(EndToEnd, EveryFrameReachesTheLogsAsReceivedEvenWhenTheProgramIsKilled)
{
    // Frames behind runs of 1 to 3 FENDs and noise, then two around a doubled FEND.
    std::vector<std::string> frames = ManyFrames(300, 7);
    const std::string noise = "\r\ncmd:\x01\x7F\xFF junk\xDB\xDD";
    std::mt19937 random(7);
    std::string stream = noise;
    for (std::size_t i = 0; i < frames.size(); ++i)
        stream += std::string(1 + random() % 3, '\xC0') + frames[i] + (i % 4 ? "" : noise);
    stream += "\xC0\x41\xC0\xC0\xC0\x42\xC0";
    frames.insert(frames.end(), {"\xC0\x41\xC0", "\xC0\x42\xC0"});
    const std::string expected = Joined(frames);
    const Tally sent = Through(stream, false);

    for (const bool replay : {false, true}) {
        SCOPED_TRACE(replay ? "time frames on, played by quillon-replay, killed"
                            : "time frames off, random pieces, shared with a KISS client and APRS-IS");
        // Sharing changes nothing that is logged; the KISS client gets every frame as the mirror does.
        LoopbackServer kissPort(false), aprsIs;
        Station s(kIni + (replay ? "TIMEFRAMES=YES\r\nMIRROR=YES\r\n"
                                 : "TIMEFRAMES=NO\r\nKISS_SERVER=" + std::to_string(kissPort.Port()) +
                                       "\r\nIGATE_CALL=N0CALL\r\nIGATE_PASSCODE=1\r\nIGATE_SERVER=" + aprsIs.Address() + "\r\n"));
        const auto start = system_clock::now();
        QProcess tnc;
        if (replay) {
            s.folder.Write("traffic.kss", stream);
            tnc.start(QString::fromStdString(BuiltProgram("quillon-replay")),
                      {"--link", QString::fromStdString(s.folder.File("COM1")), "--fast", "--chunks", "1-40",
                       QString::fromStdString(s.folder.File("traffic.kss"))});
            ASSERT_TRUE(PollUntil([&] { return fs::read_symlink(s.folder.File("COM1")) != s.folder.Com1().SlavePath(); },
                                  30s)) << "quillon-replay did not take COM1 over";
            s.q.emplace(s.folder);
            // The mirror gets every frame, whole, without the noise, in the
            // handler that logs it: all of them mirrored is all of them handled.
            const std::string mirrored =
                s.folder.Com2().ReadUntil([&](const std::string& got) { return got.size() >= expected.size(); }, 120s);
            EXPECT_TRUE(mirrored == expected) << mirrored.size() << " of " << expected.size() << " bytes mirrored";
            s.q->Signal(SIGKILL);
            EXPECT_EQ(s.q->WaitExit(), -1);
        } else {
            ASSERT_TRUE(s.Start({"QUILLON_STATUS_TO_STDERR=1"})) << s.Output();
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, kissPort.Port());
            ASSERT_TRUE(client.waitForConnected(20000) && aprsIs.Accept());
            ASSERT_TRUE(QTest::qWaitFor([&] { return s.Output().find("KISS client") != std::string::npos; }, 20000));
            ASSERT_TRUE(Play(s.folder.Com1(), stream, 42));
            EXPECT_TRUE(s.Logged(frames.size())) << s.Output();
            std::string shared = client.readAll().toStdString();
            while (shared.size() < expected.size() && client.waitForReadyRead(20000))
                shared += client.readAll().toStdString();
            EXPECT_TRUE(shared == expected) << shared.size() << " of " << expected.size() << " bytes to the KISS client";
            EXPECT_TRUE(aprsIs.Received().starts_with("user N0CALL pass 1 vers Quillon 8.5\r\n"));
            EXPECT_EQ(s.q->Stop(), 0) << s.Output();
        }
        const auto stop = system_clock::now();
        EXPECT_TRUE(!replay || (tnc.terminate(), tnc.waitForFinished() && tnc.exitCode() == 0));

        const Tally raw = s.Raw();
        EXPECT_TRUE(raw.Frames() == expected) << raw.frames.size() << " frames logged of " << frames.size();
        EXPECT_EQ(s.folder.ReadLog(".kss").size(), expected.size() + (replay ? kTimeFrameLength * frames.size() : 0));
        EXPECT_EQ(raw.untimed, replay ? 0 : frames.size());  // and by the size, one time frame each
        EXPECT_TRUE(std::is_sorted(raw.times.begin(), raw.times.end()) &&
                    (raw.times.empty() || (raw.times[0] >= std::chrono::floor<std::chrono::milliseconds>(start) &&
                                           raw.times.back() <= stop)));
        // Without time frames the dump lines carry no time either.
        EXPECT_TRUE(replay ? Lines(s.folder.ReadLog(".dump")) == frames.size() : s.folder.ReadLog(".dump") == sent.dump);
        EXPECT_EQ(s.folder.ReadLog(".hex"), sent.hex);
    }
}

// SIGTERM, SIGINT and SIGHUP each end the run: the logs close and the empty ones go before the exit
// script, then the ports. A second signal while the script goes out ends the run at once.
TEST(EndToEnd, AtTheEndTheLogsCloseAndTheEmptyOnesGoBeforeTheExitScriptThenThePorts)
{
    // More script than the pseudo-terminal holds: still going out when the first bytes arrive.
    std::string script, expected;
    for (int i = 10000; i < 16000; ++i) {
        script += "LINE " + std::to_string(i) + " ^AB$\r\n";
        expected += "LINE " + std::to_string(i) + " \x1B" "AB\xC0\xFF\xC0\r";
    }
    const std::string frame = Kiss({{"N0CALL"}, {"DL1ABC", 1}, {}, 0x21, std::nullopt, ""});  // no hex line
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        Station s;
        s.folder.Write("tnc_exit.txt", script);
        ASSERT_TRUE(s.Start()) << s.Output();
        ASSERT_TRUE(s.folder.Com1().WriteAll(frame));
        ASSERT_TRUE(s.Logged(1));
        s.q->Signal(sig);
        ASSERT_TRUE(s.folder.Com1().WaitReadable(60s)) << "no exit script; output:\n" << s.Output();
        // Asked in this order, the mirror port closed first shows as COM1 held with COM2 let go.
        EXPECT_TRUE(s.folder.Com2().PeerOpen() && s.folder.Com1().PeerOpen()) << "a port closed before the script";
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(s.q->Pid()) + "/fd", ec))
            EXPECT_FALSE(fs::read_symlink(fd.path(), ec).string().starts_with(s.folder.Path())) << "a log is open";
        EXPECT_EQ(s.folder.LogName(".hex"), "") << "the empty hex log is still there";
        if (sig == SIGHUP) {
            s.q->Signal(SIGTERM);
            EXPECT_EQ(s.q->WaitExit(10s), 0) << "a second signal ends the run at once";
        } else {
            const std::string got =
                s.folder.Com1().ReadUntil([&](const std::string& b) { return b.size() >= expected.size(); }, 60s);
            EXPECT_TRUE(got == expected) << got.size() << " of " << expected.size() << " script bytes";
            EXPECT_EQ(s.q->WaitExit(), 0) << s.Output();
        }
        EXPECT_FALSE(s.folder.Com1().PeerOpen() || s.folder.Com2().PeerOpen());
        EXPECT_EQ(s.folder.ReadLog(".kss").substr(kTimeFrameLength), frame);
    }
}

// Without a display: status lines and a line per frame (with what an APRS frame says) on standard
// output; a TNC not there at the start is opened when it comes and gets the init script; SIGHUP
// after the logs were rotated away makes new files of the same names.
TEST(EndToEnd, TheHeadlessRunNeedsNoDisplayWaitsForItsTncLogsEveryFrameAndReopensItsLogsOnSighup)
{
    auto first = ManyFrames(150, 21);
    const auto second = ManyFrames(150, 22);
    first.push_back(Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "!4903.50N/07201.75W-Test"}));
    Station s(kIni + "TIMEFRAMES=YES\r\nAPRS=YES\r\n");
    s.folder.Write("tnc_init.txt", "KISS ON\r\n");
    s.folder.Unplug(1);
    s.q.emplace(s.folder, QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, QStringList{}, std::string{},
                QStringList{"--headless", "--monitor"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Output().find("COM 1 lost") != s.Output().npos; }, 60000)) << s.Output();
    s.folder.Replug(1);
    ASSERT_TRUE(s.q->WaitStarted()) << s.Output();
    ASSERT_TRUE(s.folder.Com1().ReadUntil([](const std::string& got) { return got.size() >= 8; }, 60s) == "KISS ON\r");
    ASSERT_TRUE(Play(s.folder.Com1(), Joined(first), 5));
    ASSERT_TRUE(s.Logged(first.size())) << s.Output();

    const std::string stem = s.folder.File(s.folder.LogName(".kss").substr(0, 13));
    for (const char* ending : {".kss", ".dump", ".hex"})
        ASSERT_EQ(std::rename((stem + ending).c_str(), (stem + ending + ".1").c_str()), 0);
    s.q->Signal(SIGHUP);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Output().find("logs reopened") != s.Output().npos; }, 60000));
    ASSERT_TRUE(Play(s.folder.Com1(), Joined(second), 6));
    ASSERT_TRUE(s.Logged(second.size())) << s.Output();
    EXPECT_EQ(s.q->Stop(), 0) << s.Output();

    EXPECT_TRUE(Through(ReadFile(stem + ".kss.1"), true).Frames() == Joined(first));
    EXPECT_TRUE(s.Raw().Frames() == Joined(second));
    EXPECT_EQ(Lines(ReadFile(stem + ".dump.1")) + Lines(s.folder.ReadLog(".dump")), first.size() + second.size());
    const std::string output = s.Output();
    EXPECT_EQ(Count(output, ">APRS"), first.size() + second.size()) << "one monitor line a frame";
    EXPECT_EQ(Count(output, " UTC N0CALL-7>APRS: !4903.50N/07201.75W-Test  APRS position 49\u00B0" "03.50'N "
                            "072\u00B0" "01.75'W  /-  \"Test\"\n"), 1u);
    EXPECT_EQ(Count(output, "COM 1 lost: No such file or directory\n") + Count(output, "COM 1 reopened\n"), 2u);
    EXPECT_EQ(Count(output, "read tnc_init.txt\ndone\n"), 2u) << output.substr(0, 400);
}

// A service's health: systemd hears READY=1, WATCHDOG=1 and the status on the socket it names; the status
// file, there from the start, at the end counts the frames sent by their port, the oversize frame and the noise
// bytes between frames; the monitor line names a port other than 0.
TEST(EndToEnd, TheHeadlessRunTellsSystemdItIsReadyAndAliveAndItsStatusFileCountsWhatCame)
{
    QTemporaryDir dir;
    const std::string socketPath = dir.filePath("notify").toStdString();
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string told;  // the datagrams, one a line
    const auto hear = [&] {
        for (char buffer[512]; ;) {
            const ssize_t n = ::recv(notify, buffer, sizeof buffer, 0);
            if (n <= 0)
                return told;
            told.append(buffer, std::size_t(n)).append("\n");
        }
    };

    std::vector<std::string> frames = ManyFrames(20, 31);
    frames.push_back(Kiss({{"APRS"}, {"N0CALL"}, {}, 3, 0xF0, "port one"}, 0x10));
    const std::string oversize = "\xC0" + std::string(1501, '\0') + "\xC0";  // command 00 and 1500 zero bytes
    const std::string stream = "xyz" + Joined({frames.begin(), frames.begin() + 10}) + "ab" + oversize +
                               Joined({frames.begin() + 10, frames.end()});
    std::map<int, int> ports;
    for (const std::string& f : frames)
        ++ports[std::uint8_t(f[1]) >> 4];

    Station s(kIni + "STATUS_FILE=quillon.prom\r\n");
    ASSERT_TRUE(s.Start({"NOTIFY_SOCKET=" + QString::fromStdString(socketPath)}, {"--headless", "--monitor"})) << s.Output();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.folder.Read("quillon.prom").empty(); }, 60000));
    for (const char* sample : {"\nquillon_frames_received_total 0\n", "\nquillon_link_up{link=\"input\"} 1\n"})
        EXPECT_EQ(Count(s.folder.Read("quillon.prom"), sample), 1u) << sample;
    ASSERT_TRUE(Play(s.folder.Com1(), stream, 32));
    ASSERT_TRUE(s.Logged(frames.size())) << s.Output();
    if (QUILLON_HAVE_SYSTEMD) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Count(hear(), "WATCHDOG=1\n") >= 2; }, 60000)) << told;
        EXPECT_TRUE(told.starts_with("STATUS=0 frames received, COM 1 open\nREADY=1\n")) << told;
    }
    EXPECT_EQ(s.q->Stop(), 0) << s.Output();
    EXPECT_EQ(Count(s.Output(), " UTC [1] N0CALL>APRS: port one\n"), 1u) << s.Output();

    std::vector<std::string> samples = {"quillon_frames_received_total " + std::to_string(frames.size()),
        "quillon_bytes_received_total " + std::to_string(stream.size()), "quillon_oversize_frames_total 1",
        "quillon_noise_bytes_total 5", "quillon_link_up{link=\"input\"} 0"};
    for (const auto& [port, n] : ports)
        samples.push_back("quillon_frames_total{port=\"" + std::to_string(port) + "\"} " + std::to_string(n));
    const std::string status = s.folder.Read("quillon.prom");
    for (const std::string& sample : samples)
        EXPECT_EQ(Count(status, "\n" + sample + "\n"), 1u) << sample << status;
    ::close(notify);
}

// Standard output that nobody reads, then whose reader goes away (quillon --headless --monitor |
// head -1), holds nothing up: every frame is logged, and the run ends with its exit script.
TEST(EndToEnd, AStalledOrVanishedReaderOfTheOutputHoldsNothingUp)
{
    // About 300 kB of monitor lines each way: more than the pipe holds.
    std::vector<std::string> frames;
    for (int i = 0; i < 2000; ++i)
        frames.push_back(Kiss({{"APRS"}, {"N0CALL", i % 16}, {}, 0x03, 0xF0, "#" + std::to_string(i) + " " +
                                                                                 std::string(250, 'x')}));
    const std::vector<std::string> first(frames.begin(), frames.begin() + 1000), second(frames.begin() + 1000, frames.end());
    Station s;
    s.folder.Write("tnc_exit.txt", "KISS OFF\r\n");
    const std::string fifo = s.folder.File("output");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    s.q.emplace(s.folder, QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, QStringList{}, std::string{},
                QStringList{"--headless", "--monitor"}, fifo);
    ASSERT_TRUE(s.q->WaitStarted());
    ASSERT_TRUE(Play(s.folder.Com1(), Joined(first), 13));
    EXPECT_TRUE(s.Logged(first.size())) << "held up by a reader that does not read";
    ::close(readEnd);
    ASSERT_TRUE(Play(s.folder.Com1(), Joined(second), 14));
    EXPECT_TRUE(s.Logged(frames.size())) << "held up or ended by a reader gone";
    EXPECT_EQ(s.q->Stop(), 0);
    EXPECT_TRUE(s.Raw().Frames() == Joined(frames));
    EXPECT_TRUE(s.folder.Com1().ReadUntil([](const std::string& got) { return got.ends_with("KISS OFF\r"); }, 60s)
                    .ends_with("KISS OFF\r")) << "the exit script";
}

// No file to read in place of the settings and scripts (a link to /dev/zero,
// a FIFO nobody writes to, a sparse file of 100 MB): each refused with its reason.
TEST(EndToEnd, NoFilesAsTheConfigurationAndScriptsStopNothing)
{
    Station s;
    fs::remove(s.folder.File("quillon.ini"));
    fs::create_symlink("/dev/zero", s.folder.File("quillon.ini"));
    ASSERT_EQ(::mkfifo(s.folder.File("tnc_init.txt").c_str(), 0600), 0);
    s.folder.Write("tnc_exit.txt", "");
    fs::resize_file(s.folder.File("tnc_exit.txt"), 100 << 20);
    const auto frames = ManyFrames(200, 8);
    ASSERT_TRUE(s.Start({"QUILLON_STATUS_TO_STDERR=1"})) << s.Output();
    ASSERT_TRUE(Play(s.folder.Com1(), Joined(frames), 9));
    EXPECT_TRUE(s.Logged(frames.size()));
    EXPECT_TRUE(s.Raw().Frames() == Joined(frames));
    EXPECT_EQ(s.q->Stop(), 0) << s.Output();
    for (const char* said : {"quillon.ini: not a regular file\n", "tnc_init.txt: not a regular file\n",
                             "tnc_exit.txt: larger than 1 MB\n"})
        EXPECT_EQ(Count(s.Output(), said), 1u) << said << s.Output();
}

// A valid time meets a program without the right to set the clock; junk on a connection held
// open holds up nothing (the talk in all its ways is the time client's test).
TEST(EndToEnd, TheClockIsRefusedAndMisbehavingTimeServersStopNothing)
{
    // Never with the right to set the clock: as root, setpriv drops it.
    const QStringList prefix = ::geteuid() != 0 ? QStringList{}
        : QStringList{"setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time", "--"};
    const std::string refused = "SetSystemTime failed. Clock not synchronised";
    const auto frames = ManyFrames(100, 12);
    for (const bool answers : {true, false}) {
        SCOPED_TRACE(answers);
        LoopbackServer server;
        Station s(kIni + "TIMESERVER=127.0.0.1\r\n");
        s.q.emplace(s.folder, QStringList{"QUILLON_STATUS_TO_STDERR=1", "QUILLON_TIME_PORT=" + QString::number(server.Port())},
                    prefix);
        ASSERT_TRUE(server.Accept(60s));
        const auto t = system_clock::to_time_t(system_clock::now()) + 2208988800LL;  // since 1900
        const char now[4] = {char(t >> 24), char(t >> 16), char(t >> 8), char(t)};
        ASSERT_TRUE(server.Send(answers ? std::string_view(now, 4) : std::string_view("\xFF\x00garbage\r\n\xC0", 12)));
        if (answers)
            server.Close();
        const std::string awaited = answers ? refused : "   winsock connection made";
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.Output().find(awaited) != std::string::npos; }, 60000));
        ASSERT_TRUE(Play(s.folder.Com1(), Joined(frames), 12));
        EXPECT_TRUE(s.Logged(frames.size()));
        EXPECT_EQ(s.q->Stop(), 0);
        // The init script is not held up by the query; nothing is set from a connection held open.
        const std::string output = s.Output();
        EXPECT_EQ(Count(output, "read tnc_init.txt\ndone\n"), 1u) << output;
        EXPECT_EQ(output.find("synchroni") != std::string::npos, answers) << output;
    }
}

// A TNC and a mirror device that go away and come back behind the same links, and the end of
// the run while frames still come.
TEST(EndToEnd, ATncThatGoesAwayMidFrameIsReadAgainWhenItComesBackAndTheEndHandlesNoFrame)
{
    Station s(kIni + "MIRROR=YES\r\nTIMEFRAMES=NO\r\nMY_LOCATION=home\r\n");
    ProgramFolder& folder = s.folder;
    folder.Write("tnc_init.txt", "KISS ON\r\n");
    // More than the pseudo-terminal holds: the end of the run waits for it.
    folder.Write("tnc_exit.txt", std::string(200000, 'x') + "\r\n");
    ASSERT_TRUE(s.Start({"QUILLON_STATUS_TO_STDERR=1"})) << s.Output();
    RunningQuillon& q = *s.q;
    const auto initSent = [&] {
        return folder.Com1().ReadUntil([](const std::string& got) { return got.size() >= 8; }, 60s) == "KISS ON\r";
    };
    ASSERT_TRUE(initSent());
    // What the mirror device sends is read (more than the line holds) and dropped.
    ASSERT_TRUE(folder.Com2().WriteAll(std::string(1 << 20, 'x') + Joined(ManyFrames(9, 2)), 60s));
    // A frame is mirrored once it is whole; the one cut off by the loss never.
    const auto mirrored = [&](const std::vector<std::string>& frames, const std::string& cut) {
        EXPECT_TRUE(folder.Com1().WriteAll(Joined(frames) + cut));
        return folder.Com2().ReadUntil([&](const std::string& got) { return got.size() >= Joined(frames).size(); },
                                       60s) == Joined(frames);
    };
    const std::vector<std::string> before = ManyFrames(40, 0), after = ManyFrames(40, 1);
    ASSERT_TRUE(mirrored(before, std::string("\xC0\x00 cut off", 10)));
    // Both devices go away; the links lead nowhere for a while.
    folder.Unplug(1);
    folder.Unplug(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count(q.Output(), "COM 1 lost") + Count(q.Output(), "COM 2 lost") == 2u; },
                                60000)) << q.Output();
    folder.Replug(1);
    folder.Replug(2);
    ASSERT_TRUE(initSent()) << "no init script after the return\n" << q.Output();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Count(q.Output(), "COM 2 reopened") == 1u; }, 60000));
    ASSERT_TRUE(mirrored(after, ""));
    const std::string output = q.Output();
    for (const char* line : {"COM 1 lost: Input/output error\n", "COM 2 lost: Input/output error\n",
                             "COM 1 reopened\n", "COM 2 reopened\n", "MY_LOCATION not understood (HOME): no distances\n"})
        EXPECT_EQ(Count(output, line), 1u) << line << output;
    EXPECT_EQ(Count(output, "read tnc_init.txt\ndone\n"), 2u) << output;
    const std::string sent = Joined(before) + Joined(after);
    ASSERT_TRUE(PollUntil([&] { return folder.ReadLog(".kss").size() >= sent.size(); }, 60s));
    EXPECT_TRUE(folder.ReadLog(".kss") == sent) << "frames lost, or a cut-off frame joined to the next";

    // A frame that comes while the exit script goes out is neither mirrored nor logged.
    const std::string log = folder.ReadLog(".kss");
    q.Signal(SIGTERM);
    ASSERT_TRUE(folder.Com1().WaitReadable(60s)) << "no exit script";
    ASSERT_TRUE(folder.Com1().WriteAll(ManyFrames(1, 9)[0]));
    EXPECT_EQ(q.WaitExit(), 0) << q.Output();
    EXPECT_EQ(folder.Com2().ReadAvailable(), "");
    EXPECT_TRUE(folder.ReadLog(".kss") == log);
}

TEST(Tools, TsharkReadsQuillonPcapsFileWithTheCallsQuillonDumpShows)
{
    if (::access("/usr/bin/tshark", X_OK) != 0)
        GTEST_SKIP() << "tshark is not installed";
    QTemporaryDir temp;
    const QString sample = QUILLON_SOURCE_DIR "/tools/sample/sample.kss", pcap = temp.filePath("sample.pcap");
    const ProgramRun convert = RunProgram(BuiltProgram("quillon-pcap"), {sample, pcap});
    ASSERT_EQ(convert.status, 0) << convert.errors;
    // The AX.25 addresses, not those of the NET/ROM layer above.
    const ProgramRun tshark = RunProgram("/usr/bin/tshark", {"-n", "--disable-protocol", "netrom", "-r", pcap, "-T",
        "fields", "-e", "ax25_kiss.port", "-e", "ax25_kiss.cmd", "-e", "_ws.col.Source", "-e", "_ws.col.Destination"});
    ASSERT_EQ(tshark.status, 0) << tshark.errors;
    const ProgramRun dump = RunProgram(BuiltProgram("quillon-dump"), {"--color=never", sample});
    ASSERT_EQ(dump.status, 0) << dump.errors;
    // "from N0CALL-9 to APRS via WIDE1-1: ", and the sample's frames are all KISS data frames of port 0.
    const std::regex from("from (\\S+) to ([^ :\n]+)"), fields("(^|\n)0\t0\t([^\t\n]*)\t([^\t\n]*)");
    std::vector<std::string> calls, packets;
    for (std::sregex_iterator m(dump.output.begin(), dump.output.end(), from), end; m != end; ++m)
        calls.push_back((*m)[1].str() + " > " + (*m)[2].str());
    for (std::sregex_iterator m(tshark.output.begin(), tshark.output.end(), fields), end; m != end; ++m)
        packets.push_back((*m)[2].str() + " > " + (*m)[3].str());
    EXPECT_EQ(Lines(tshark.output), 26u) << tshark.output;
    EXPECT_EQ(packets, calls);
}

TEST(Package, UnpackedAnywhereItRunsFromElsewhereAndLogsBesideItself)
{
    QTemporaryDir temp, elsewhere;  // where the package is unpacked, and where it runs
    const std::string root = temp.path().toStdString(), folder = root + "/quillon-" QUILLON_VERSION;
    const ProgramRun pack = RunProgram(QUILLON_CPACK_COMMAND, {"-G", "TGZ", "-B", temp.path(), "--config",
                                                               QUILLON_BINARY_DIR "/CPackConfig.cmake"}, root);
    ASSERT_EQ(pack.status, 0) << pack.output << pack.errors;
    const ProgramRun unpack = RunProgram(QUILLON_CMAKE_COMMAND, {"-E", "tar", "xzf", "quillon-" QUILLON_VERSION ".tar.gz"},
                                         root);
    ASSERT_EQ(unpack.status, 0) << unpack.errors;
    for (const char* name : {"quillon-dump", "quillon-replay", "quillon-pcap", "sample.kss", "share/man/man1/quillon.1",
                             "share/systemd/quillon.service", "share/logrotate/quillon"})
        EXPECT_TRUE(fs::is_regular_file(folder + "/" + name)) << name << " is not in the package";

    ProgramFolder unpacked(folder);
    RunningQuillon quillon(unpacked, {}, {}, elsewhere.path().toStdString());
    ASSERT_TRUE(quillon.WaitStarted()) << quillon.Output();
    const std::string frame = Kiss({{"APRS"}, {"N0CALL", 9}, {{"WIDE1", 1}}, 0x03, 0xF0, "from the package"});
    ASSERT_TRUE(unpacked.Com1().WriteAll(frame));
    EXPECT_TRUE(PollUntil([&] { return unpacked.ReadLog(".dump").find("from the package") != std::string::npos; }, 60s));
    EXPECT_EQ(quillon.Stop(), 0) << quillon.Output();
    EXPECT_NE(unpacked.ReadLog(".kss").find(frame), std::string::npos);
    EXPECT_NE(unpacked.LogName(".hex"), "") << "the starter settings have HEXFILE=YES";
    EXPECT_TRUE(fs::is_empty(elsewhere.path().toStdString())) << "something was written into the working directory";
    EXPECT_EQ(unpacked.Com1().ReadAvailable(), "") << "the starter TNC scripts send nothing";
}

}  // namespace
}  // namespace quillon::test
