// The running station without any window, on a QCoreApplication, its input on a TTY or a KISS server.
#include <QDir>
#include <QFile>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <filesystem>

#include "frames.h"
#include "line_events.h"
#include "link.h"
#include "log_set.h"
#include "loopback_server.h"
#include "mqtt_broker.h"
#if QUILLON_MQTT
#include "mqtt_publisher.h"
#endif
#include "program.h"
#include "station.h"
#include "station_folder.h"
#include "text/lines.h"
#include "tnc/time_frame.h"

namespace quillon::test {
namespace {

// What the station tells (but the clock), as a front end would show it.
struct Recorder final : StationView {
    std::vector<FrameReport> reports;
    std::string status;  // the status box, lines ended with CR LF
    std::vector<std::string> statusLines;  // every status line of the run, the box emptied or not
    std::vector<std::string> levelled;  // the same, each behind its level: "<4>COM 2 not opened: ..."
    PortLamps lamps;
    std::vector<std::string> logFailures;
    std::string links;

    void ShowReport(const FrameReport& r) override { reports.push_back(r); }
    void ShowStatusLine(std::string_view line) override
    {
        status += std::string(line) + "\r\n";
        statusLines.emplace_back(line);
    }
    void ShowStatus(std::string_view line, Severity severity) override
    {
        levelled.push_back(std::string(JournalPrefix(severity)) + std::string(line));
        ShowStatusLine(line);
    }
    void ClearStatus() override { status.clear(); }
    void ShowLamps(PortLamps l) override { lamps = l; }
    void ShowLogFailures(const std::vector<std::string>& lines) override { logFailures = lines; }
    void ShowLinks(std::string_view in, std::string_view out, std::string_view inEffect) override
    {
        links = std::string(in) + "|" + std::string(out) + "|" + std::string(inEffect);
    }
};

struct Running : StationFolder {
    explicit Running(const std::string& ini, const std::string& initScript = "", const std::string& exitScript = "",
                     bool start = true)
        : StationFolder(ini, initScript, exitScript), station(MakeStation())
    {
        station->AddView(view);
        if (start)
            station->Start();
    }
    bool Send(const std::string& bytes) { return StationFolder::Send(*station, bytes); }

    Recorder view;
    std::unique_ptr<Station> station;
};

const std::string kFrame = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "Hi\r"});

// A mirror device that does not read: frames over the link's queue are dropped whole and counted.
TEST(Station, AMirrorDeviceThatDoesNotReadGetsWholeFramesAndTheRestIsDroppedAndCounted)
{
    Running s("MIRROR=YES\r\n");  // COM2's master is not read while the frames come
    std::vector<std::string> frames;
    for (std::size_t i = 0, bytes = 0; bytes < Link::kWriteQueueLimit * 3 / 2; bytes += frames.back().size(), ++i)
        frames.push_back(Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "#" + std::to_string(i) + std::string(200, 'x')}));
    const std::string stream = Joined(frames);
    ASSERT_TRUE(s.Send(stream));  // in pieces that cut frames
    EXPECT_EQ(s.station->Counts().FrameCount, std::int32_t(frames.size()));
    EXPECT_EQ(std::count(s.view.statusLines.begin(), s.view.statusLines.end(), "Transmit Buffer full"), 1);
    EXPECT_GT(s.station->MirrorBytesDropped(), 0u);
    EXPECT_EQ(std::uint64_t(s.station->BytesSent()) + s.station->MirrorBytesDropped(), stream.size());

    // Each frame is one block, which the link takes or refuses whole (its contract's test): whole frames only.
    EXPECT_EQ(Running::Receive(s.com2, std::size_t(s.station->BytesSent())).size(), std::size_t(s.station->BytesSent()));
}

TEST(Station, SettingsTheTncPortCannotTakeAreRefusedAndThePreviousStay)
{
    // A pseudo-terminal keeps the baud rate and the kind of parity, not the data bits.
    const std::tuple<std::string, std::string, speed_t, tcflag_t> rows[] = {
        {"4800,M,8,1", "4800,M,8,1", B4800, CMSPAR | PARODD}, {"1200,S,7,1.5", "1200,S,7,1.5", B1200, CMSPAR},
        {"4800,X,8,1", "9600,N,8,1", B9600, 0}};
    for (const auto& [settings, inEffect, baud, parity] : rows) {
        Running s("COM_PORT=1\r\nCOM_SETTINGS=" + settings + "\r\nCOM_HANDSHAKING=NO\r\nMIRROR_COM_PORT=2\r\n"
                  "MIRROR_COM_SETTINGS=" + settings + "\r\n");
        termios line{};
        ASSERT_EQ(::tcgetattr(s.com1.MasterFd(), &line), 0);
        EXPECT_EQ(::cfgetospeed(&line), baud) << settings;
        EXPECT_EQ(line.c_cflag & (PARODD | CMSPAR), parity) << settings;
        // The link lines show the configuration; only the mirror's last line what is in effect.
        EXPECT_EQ(s.view.links, "IN (COM 1, " + settings + ",NO)|OUT (COM 2, " + settings + ",)|COM 2, " + inEffect +
                                    " initialized ");
    }
}

// The end's script, the links closed and the logs' cleanup are the end-to-end test's; the frames, counters,
// logs and mirror through a station the window test's.
TEST(Station, TheStatusBoxTellsLineEventsABlockFromTheTncEmptiesItAndEveryViewIsTold)
{
    Running s("");
    // As the kernel would count them: a break on the TNC's line, a framing error on the mirror's.
    for (const auto& [link, field] : {std::pair{&s.station->Input(), &LineCounters::brk},
                                      {&s.station->Mirror(), &LineCounters::frame}}) {
        auto* source = link->findChild<LineEventSource*>();
        ASSERT_NE(source, nullptr);
        LineCounters counters;
        source->Start(LineReaders{nullptr, [&] { return std::optional(counters); }});
        const std::size_t before = s.view.status.size();
        counters.*field = 1;
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.view.status.size() > before; }, 20000));
        source->Stop();
    }
    EXPECT_EQ(s.view.status, "read tnc_init.txt\r\ndone\r\nA Break was received.\r\nFraming Error\r\n");
    ASSERT_TRUE(s.Send("noise"));
    EXPECT_EQ(s.view.status, "");
    {
        Recorder second;  // told as well, while it lasts
        s.station->AddView(second);
        ASSERT_TRUE(s.Send(kFrame));
        EXPECT_EQ(second.reports.size(), 1u);
    }
    ASSERT_TRUE(s.Send(kFrame));
    EXPECT_EQ(s.view.reports.size(), 2u);
}

// One clock reading per frame, from 23:59:59.998: its time frame, report, JSON line and daily log set.
TEST(Station, EachFrameHasOneTimeForItsTimeFrameItsReportAndItsDay)
{
    for (const bool daily : {true, false}) {
        SCOPED_TRACE(daily);
        Running s(std::string(daily ? "LOG_ROTATE=DAILY\r\n" : "") + "TIMEFRAMES=YES\r\nJSONFILE=YES\r\n", "", "", false);
        s.clock.Set(At(23h + 59min + 59s));
        s.station->Start();
        s.clock.Set(At(23h + 59min + 59s + 998ms));
        s.clock.StepEachReading(1ms);
        ASSERT_TRUE(s.Send(kFrame + kFrame + kFrame + kFrame));
        s.station->Stop();
        struct ReadBack final : ReceiveSink {
            std::string json;
            std::vector<std::chrono::system_clock::time_point> times;
            void JsonLog(std::string_view line) override { json += line; }
            void LogTime(std::chrono::system_clock::time_point t) override { times.push_back(t); }
        };
        std::vector<std::chrono::system_clock::time_point> times;
        const std::vector<std::pair<std::string, unsigned>> sets =
            daily ? decltype(sets){{"28072013_2359", 28}, {"29072013_0000", 29}} : decltype(sets){{"28072013_2359", 0}};
        for (const auto& [stem, day] : sets) {
            SCOPED_TRACE(stem);
            ReadBack back;
            const FixedClock none{};
            Receiver reader(none, {.report = {}, .decode = true, .buildReports = true, .readLogTimes = true, .json = true});
            reader.Feed(ReadFile(s.File((stem + ".kss").c_str())), back);
            EXPECT_EQ(back.json, ReadFile(s.File((stem + ".jsonl").c_str())));
            for (const auto t : back.times)
                EXPECT_TRUE(!day || unsigned(std::chrono::year_month_day(std::chrono::floor<std::chrono::days>(t)).day()) == day);
            times.insert(times.end(), back.times.begin(), back.times.end());
        }
        EXPECT_EQ(QDir(s.dir.path()).entryList({"2*.*"}).size(), 3 * qsizetype(sets.size()));
        ASSERT_EQ(times.size(), 4u);
        ASSERT_EQ(s.view.reports.size(), 4u);
        for (std::size_t i = 0; i < times.size(); ++i)
            EXPECT_EQ(s.view.reports[i].time, times[i]) << i;
    }
}

// LOG_KEEP_DAYS=1: the sets last written over a day ago go at the start, rotated forms and all, and one that
// becomes so at the daily roll; the running set, another run's, and files that are no logs stay.
TEST(Station, OldLogSetsGoAtTheStartAndAtTheDailyRollEachSaid)
{
    Running s("LOG_ROTATE=DAILY\r\nLOG_KEEP_DAYS=1\r\n", "", "", false);
    LogSet otherRun(s.dir.path().toStdString());
    otherRun.Open("26072013_0900", false);
    const auto old = [&](const char* name, std::chrono::system_clock::duration sinceDayBefore) {
        WriteFile(s.File(name), "x");
        std::filesystem::last_write_time(s.File(name), std::chrono::file_clock::from_sys(At(-24h + sinceDayBefore)));
    };
    for (const char* name : {"27072013_0900.kss", "27072013_0900.dump.1", "27072013_0900.hex.2.gz", "sample.kss",
                             "notes.txt", "26072013_0900.kss", "26072013_0900.dump"})
        old(name, 9h);
    old("27072013_2359.kss", 23h + 59min + 59s);
    s.clock.Set(At(23h + 59min + 59s));
    s.station->Start();
    const std::string atStart = "log deleted, older than 1 day: 27072013_0900.dump.1\r\n"
                                "log deleted, older than 1 day: 27072013_0900.hex.2.gz\r\n"
                                "log deleted, older than 1 day: 27072013_0900.kss\r\n";
    EXPECT_EQ(s.view.status, atStart + "read tnc_init.txt\r\ndone\r\n");
    s.clock.Set(At(24h));
    s.station->Tick();
    EXPECT_EQ(Count(s.view.status, "older than"), 4u) << s.view.status;
    EXPECT_NE(s.view.status.find("log deleted, older than 1 day: 27072013_2359.kss\r\n"), std::string::npos);
    EXPECT_EQ(QDir(s.dir.path()).entryList({"2[67]*", "notes.txt", "sample.kss"}),
              (QStringList{"26072013_0900.dump", "26072013_0900.kss", "notes.txt", "sample.kss"}));
}

// Logs renamed away, a folder where the dump log goes: the raw log alone reopens, the dump log at a later tick.
TEST(Station, AReopenedLogThatCannotBeCreatedOpensAtALaterTick)
{
    Running s("TIMEFRAMES=NO\r\n");
    ASSERT_TRUE(s.Send(kFrame));
    for (const char* log : {"28072013_1405.kss", "28072013_1405.dump"})
        ASSERT_TRUE(QFile::rename(s.dir.filePath(log), s.dir.filePath(log) + ".1"));
    ASSERT_TRUE(QDir(s.dir.path()).mkdir("28072013_1405.dump"));
    s.station->ReopenLogs();
    EXPECT_EQ(s.view.status, "logs reopened: 28072013_1405.kss\r\n");
    ASSERT_TRUE(s.Send(kFrame));
    EXPECT_EQ(s.view.logFailures, std::vector<std::string>{"28072013_1405.dump: Is a directory"});
    ASSERT_TRUE(QDir(s.dir.path()).rmdir("28072013_1405.dump"));
    s.station->Tick();
    EXPECT_EQ(s.view.status, "logs reopened: 28072013_1405.dump\r\n");
    ASSERT_TRUE(s.Send(kFrame));
    EXPECT_EQ(s.Log("kss") + ReadFile(s.File("28072013_1405.kss.1")), kFrame + kFrame + kFrame);
    EXPECT_EQ(Count(s.Log("dump"), "\r\n"), 1u);
    EXPECT_EQ(s.view.logFailures, std::vector<std::string>{});
}

// KISS_TCP: the link's cuts, losses and returns are the link contract's test.
TEST(StationTcp, FramesAreLoggedByteForByteAndNoScriptReachesTheServer)
{
    LoopbackServer server;
    Running s("KISS_TCP=" + server.Address() + "\r\nTIMEFRAMES=NO\r\n", "KISS ON\r\n$\r\n", "^@K\r\n$\r\n");
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.view.lamps.input == Lamp::Green; }, 20000));
    EXPECT_TRUE(s.view.links.starts_with("IN (TCP " + server.Address() + ")|OUT (COM ")) << s.view.links;

    const std::vector<std::string> frames = ManyFrames(300, 11);
    const std::string stream = Joined(frames);
    ASSERT_TRUE(server.Send(stream));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.view.reports.size() == frames.size(); }, 20000));
    s.station->RunInitScript();  // the buttons, as a user would press them
    s.station->RunExitScript();
    s.station->Stop();
    ASSERT_TRUE(server.ClientGone());

    EXPECT_EQ(server.Received(), "") << "script bytes reached the KISS server";
    EXPECT_TRUE(s.Log("kss") == stream) << "the raw log is not the frames sent";
    EXPECT_EQ(s.view.statusLines, (std::vector<std::string>{"tnc_init.txt not sent: KISS over TCP",
                                                            server.Address() + " connected",
                                                            "tnc_exit.txt not sent: KISS over TCP"}));
}

// The serial port in place of a server the file cannot name would be some other device: no input at all.
TEST(StationTcp, AKissTcpValueThatNamesNoServerOpensNoInput)
{
    Running s("KISS_TCP=localhost:0\r\nCOM_PORT=1\r\nCOM_SETTINGS=9600,N,8,1\r\nCOM_HANDSHAKING=NO\r\n", "KISS ON\r\n");
    EXPECT_EQ(s.view.levelled.at(0), "<4>KISS_TCP=LOCALHOST:0 not understood (HOST or HOST:PORT, port 1 to 65535)");
    EXPECT_EQ(s.station->Input().GetState(), Link::State::Closed);
    EXPECT_FALSE(s.com1.PeerOpen());
    EXPECT_EQ(s.view.lamps.input, Lamp::Red);
}

// What the operator should look at is a warning; the rest information. With the idle line off, a quiet
// channel says one warning a silence and one line when frames come again.
TEST(Station, WarningsCarryTheirLevelAndSilenceIsSaidOnceEachWay)
{
    StationFolder f("SILENCE_WARNING=1\r\nHEXFIEL=YES\r\n");
    const QString com2 = f.dir.filePath("COM2");
    ASSERT_TRUE(QFile::remove(com2) && QFile::link(f.dir.filePath("nothing"), com2));
    Station station(StationEnvironment{.programDir = f.dir.path(), .clock = &f.clock, .clockSetter = &f.setter,
                                       .ownTicks = false, .idleLines = false, .sayPortsNotOpened = true});
    Recorder view;
    station.AddView(view);
    station.Start();
    // Silent 75 s, a frame, silent 59 s, then 1 s more.
    for (const int seconds : {75, 0, 59, 1}) {
        if (seconds == 0) {
            ASSERT_TRUE(f.Send(station, kFrame));
        }
        for (int second = 0; second < seconds; ++second) {
            f.clock.Advance(1s);
            station.Tick();
        }
    }
    EXPECT_EQ(view.levelled, (std::vector<std::string>{"<4>quillon.ini line 2: unknown key HEXFIEL",
                                                       "<4>COM 2 not opened: No such file or directory",
                                                       "<6>read tnc_init.txt", "<6>done",
                                                       "<4>no frame received for 1 min",
                                                       "<6>frames received again after 1 min",
                                                       "<4>no frame received for 1 min"}));
}


#if QUILLON_MQTT
// A broker that refuses or is not there is said, and the JSON lines meanwhile keep to the queue's bound,
// the oldest dropped; the right password (in its own case) connects, and a broker that goes away and
// comes back is connected to again by itself.
TEST(StationMqtt, RefusedOrAbsentBrokersAreSaidTheQueueKeepsItsBoundAndALostBrokerIsFoundAgain)
{
    MqttBroker broker("Ann", "S3cret");
    ASSERT_TRUE(broker.Start()) << broker.Output();
    const std::string at = "127.0.0.1:" + std::to_string(broker.Port()), nowhere = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
    const auto said = [](Running& s, const std::string& line, std::size_t times = 1) {
        return QTest::qWaitFor([&] { return std::size_t(std::count(s.view.statusLines.begin(), s.view.statusLines.end(), line)) >= times; }, 30000);
    };
    const auto frames = ManyFrames(6000, 7);
    const struct { const char* name; std::string ini, said; } refusals[] = {
        {"not there", "MQTT=" + nowhere, "MQTT " + nowhere + " not reached: Connection refused"},
        {"wrong password", "MQTT=" + at + "\nMQTT_USER=Ann\nMQTT_PASSWORD=s3cret", "MQTT " + at + " refused: not authorised."},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.name);
        Running s(c.ini + "\nJSONFILE=YES");
        ASSERT_TRUE(said(s, c.said)) << Joined(s.view.statusLines);
        ASSERT_TRUE(s.Send(Joined(frames)));
        // What the queue holds: the newest lines that fit in its bound.
        std::size_t kept = 0, bytes = 0;
        const std::string jsonl = s.Log("jsonl");
        const auto lines = SplitLines(jsonl);
        for (auto line = lines.rbegin(); line != lines.rend() && (bytes += line->size()) <= MqttPublisher::kQueueLimit; ++line)
            ++kept;
        EXPECT_EQ(s.station->MqttPublished(), 0u);
        EXPECT_EQ(s.station->MqttDropped(), frames.size() - kept);
    }

    Running s("MQTT=" + at + "\nMQTT_USER=Ann\nMQTT_PASSWORD=S3cret");
    ASSERT_TRUE(said(s, "MQTT " + at + " connected")) << Joined(s.view.statusLines);
    broker.Stop();
    ASSERT_TRUE(said(s, "MQTT " + at + " lost: The connection was lost.")) << Joined(s.view.statusLines);
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(said(s, "MQTT " + at + " connected", 2)) << Joined(s.view.statusLines);
    ASSERT_TRUE(s.Send(Joined({frames.begin(), frames.begin() + 500})));
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.station->MqttPublished() == 500; }, 30000))
        << s.station->MqttPublished() << " published, " << s.station->MqttDropped() << " dropped";
}
#endif

}  // namespace
}  // namespace quillon::test
