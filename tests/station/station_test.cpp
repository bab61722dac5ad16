// The running station without any window, on a QCoreApplication: a throw-away
// program folder whose COM1 and COM2 link to pseudo-terminals held by the
// test, a clock the test sets, a clock setter that records, and a view that
// writes down everything the station tells it.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <csignal>
#include <sys/resource.h>
#include <termios.h>

#include <algorithm>
#include <random>

#include "line_events.h"
#include "link.h"
#include "serial_link.h"
#include "station_fixture.h"
#include "tnc/time_frame.h"

namespace quillon::test {
namespace {

std::string ConsoleText(const std::vector<FrameReport>& reports)
{
    std::string text;
    for (const FrameReport& r : reports)
        for (const ConsoleRun& run : r.console)
            text += run.text;
    return text;
}

const std::string kFrame = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "Hi\r"});

TEST(Station, FramesGoToTheViewTheLogsAndTheMirrorUntilCountersAreClearedOrMirroringIsOff)
{
    Running s("TIMEFRAMES=YES\r\nHEXFILE=YES\r\nMIRROR=YES\r\n");
    EXPECT_TRUE(s.view.mirroring);
    EXPECT_EQ(s.view.lamps, (PortLamps{Lamp::Green, Lamp::Green}));
    ASSERT_TRUE(s.Send(kFrame));
    s.station->SetDecoding(false);
    ASSERT_TRUE(s.Send(kFrame + Bytes("C0 00 41")));  // and the start of another
    ASSERT_EQ(s.view.reports.size(), 2u);
    EXPECT_EQ(s.view.reports[0].frameCaption + ", " + s.view.reports[1].frameCaption,
              "Payload KISS Frame, RAW KISS Frame");
    const std::string console = ConsoleText(s.view.reports);
    for (const char* line : {"2013-07-28 14:05:09.437 UTC: [22 Bytes KISS Frame (without CRC)]\r",
                             "from N0CALL-7 to APRS: ", "   1 > 48 69 0D ",
                             "   1 > C0 00 82 A0 A4 A6 40 40 60 9C 60 86 82 98 98 6F 03 F0 48 69 \r"})
        EXPECT_EQ(Count(console, line), std::string_view(line).starts_with("2013") ? 2u : 1u) << line;
    EXPECT_EQ(s.view.received + ", " + s.view.sent, "47 Bytes received (2 Frames), 47 Bytes sent");
    EXPECT_EQ(Running::Receive(s.com2, 47), kFrame + kFrame + Bytes("C0 00 41"));
    EXPECT_EQ(s.Log("kss"), EncodeTimeFrame(s.clock.Now()) + kFrame + EncodeTimeFrame(s.clock.Now()) + kFrame);
    EXPECT_EQ(s.Log("dump"), "2013-07-28 14:05:09.437 UTC: Hi.\r\n");
    EXPECT_EQ(s.Log("hex"), "48 69 0D\r\n");

    s.station->ClearCounters();
    ASSERT_TRUE(s.Send(Bytes("C0")));  // ends the frame begun before
    EXPECT_EQ(s.view.received + ", " + s.view.sent, "1 Bytes received (1 Frames), 1 Bytes sent");
    s.station->SetMirroring(false);
    ASSERT_TRUE(s.Send("xyz"));
    EXPECT_FALSE(s.station->Mirror().IsOpen() || s.view.mirroring || s.station->BytesSent() != 1);
    EXPECT_EQ(s.view.lamps, (PortLamps{Lamp::Green, Lamp::Off}));
}

TEST(Station, AMirrorDeviceThatDoesNotReadHoldsAtMostTheLimitAndTheRestIsDroppedAndCounted)
{
    Running s("MIRROR=YES\r\n");  // COM2's master is never read
    const std::string piece = [] {
        std::string frames;
        for (int i = 0; i < 10; ++i)
            frames += Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, std::string(200, 'x')});
        return frames;
    }();
    const auto& mirror = static_cast<const SerialLink&>(s.station->Mirror());
    const std::uint64_t total = 3 * SerialLink::kWriteQueueLimit;
    qint64 mostWaiting = 0;
    for (std::uint64_t sent = 0; sent < total; sent += piece.size()) {
        ASSERT_TRUE(s.com1.WriteAll(piece));
        QDeadlineTimer limit(20000);
        while (s.station->Counts().BytesReceived < sent + piece.size() && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        mostWaiting = std::max(mostWaiting, mirror.BytesWaiting());
    }
    const std::uint64_t received = s.station->Counts().BytesReceived;
    EXPECT_EQ(s.station->Counts().FrameCount, received / piece.size() * 10);
    EXPECT_EQ(s.view.reports.size(), s.station->Counts().FrameCount);
    EXPECT_EQ(std::count(s.view.statusLines.begin(), s.view.statusLines.end(), "Transmit Buffer full"), 1);
    EXPECT_GT(s.station->MirrorBytesDropped(), 0u);
    EXPECT_EQ(std::uint64_t(s.station->BytesSent()) + s.station->MirrorBytesDropped(), received);
    EXPECT_LE(mostWaiting, SerialLink::kWriteQueueLimit);
    EXPECT_GT(mostWaiting, SerialLink::kWriteQueueLimit - qint64(piece.size()));
}

TEST(Station, SettingsTheTncPortCannotTakeAreRefusedAndThePreviousStay)
{
    // A pseudo-terminal keeps the baud rate and the kind of parity, not the data bits.
    const std::tuple<std::string, std::string, speed_t, tcflag_t> rows[] = {
        {"4800,M,8,1", "4800,M,8,1", B4800, CMSPAR | PARODD}, {"1200,S,7,1.5", "1200,S,7,1.5", B1200, CMSPAR},
        {"4800,X,8,1", "9600,N,8,1", B9600, 0}, {"4800,O,9,1", "9600,N,8,1", B9600, 0}};
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

TEST(Station, ScriptsGoToTheTncAtStartAndEndAndTheEndDeletesOnlyTheEmptyLogs)
{
    Running s("HEXFILE=YES\r\n", "$\r\n# comment\r\nKISS ON", "^@K\n");
    EXPECT_EQ(Running::Receive(s.com1, 12), Bytes("C0 FF C0 0D") + "KISS ON\r");
    // A supervisory frame: a dump line, but no payload for the hex log.
    ASSERT_TRUE(s.Send(Kiss({{"N0CALL"}, {"DL1ABC", 1}, {}, 0x21, {}, ""})));
    s.station->Stop();
    EXPECT_TRUE(s.station->Stopped());
    EXPECT_EQ(Running::Receive(s.com1, 4), Bytes("1B 40 4B 0D"));
    EXPECT_FALSE(s.station->Input().IsOpen() || s.station->Mirror().IsOpen());
    EXPECT_EQ(QDir(s.dir.path()).entryList({"2807*"}).join(' '), "28072013_1405.dump 28072013_1405.kss");
    EXPECT_EQ(s.view.status, "read tnc_exit.txt\r\ndone\r\n");  // the frame emptied the box
    s.station->Stop();  // once only
    EXPECT_EQ(Count(s.view.status, "tnc_exit"), 1u);
}

TEST(Station, TheStatusBoxTellsLineEventsAndSilenceAndABlockFromTheTncEmptiesIt)
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
    s.clock.Advance(1s);
    s.station->Tick();
    EXPECT_EQ(s.view.status, "read tnc_init.txt\r\ndone\r\nA Break was received.\r\nFraming Error\r\n"
                             "1 sec since last packet [0]\r\n");
    EXPECT_EQ(s.view.clock, "14:05:10");
    ASSERT_TRUE(s.Send("noise"));
    EXPECT_EQ(s.view.status, "");
}

// The ticks fall at .900 of a second: a frame that ends before then in that
// second gives the silence before it to the bracket, however long it was.
TEST(Station, AFrameEndingInTheFirstNineTenthsOfASecondSetsTheBracket)
{
    Running s("");
    auto second = std::chrono::floor<std::chrono::seconds>(s.clock.Now());
    int silence = 0;  // the count the idle line reached before the frame
    for (const auto& [fraction, ticks] : {std::pair{0ms, 2}, {450ms, 3}, {899ms, 4}, {1ms, 1}}) {
        second += 1s;
        s.clock.Set(second + fraction);
        ASSERT_TRUE(s.Send(kFrame));
        const std::size_t lines = s.view.statusLines.size();
        s.clock.Set(second + 900ms);
        s.station->Tick();
        EXPECT_EQ(s.view.statusLines.size(), lines) << fraction.count();
        for (int i = 1; i <= ticks; ++i) {
            s.clock.Set(second + std::chrono::seconds(i) + 900ms);
            s.station->Tick();
            EXPECT_EQ(s.view.statusLines.back(), std::to_string(i) + " sec since last packet [" +
                                                     std::to_string(silence) + "]") << fraction.count();
        }
        silence = ticks;
        second += std::chrono::seconds(ticks);
    }
}

TEST(Station, ALogThatCannotBeWrittenIsToldWhileTheFramesGoOn)
{
    Running s("", "", "", false);
    // The dump log is on a full disk from the start; the raw log writes.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), s.dir.filePath("28072013_1405.dump")));
    s.station->Start();
    ASSERT_TRUE(s.Send(kFrame));
    EXPECT_EQ(s.view.logFailures, std::vector<std::string>{"28072013_1405.dump: No space left on device"});
    EXPECT_EQ(s.Log("kss"), kFrame);
    EXPECT_EQ(s.view.reports.size(), 1u);
}

TEST(Station, JsonFileYesWritesAJsonLineForEveryFrameAndWithoutItThereIsNoJsonLog)
{
    const std::string head = R"J({"time":"2013-07-28T14:05:09.437Z","port":0,"command":0,"type":"KISS Frame (without CRC)",)J"
                             R"J("length":22)J";
    for (const char* ini : {"JSONFILE=yes\r\n", ""}) {
        Running s(ini);
        ASSERT_TRUE(s.Send(kFrame));
        s.station->SetDecoding(false);
        ASSERT_TRUE(s.Send(kFrame));
        EXPECT_EQ(QFile::exists(s.dir.filePath("28072013_1405.jsonl")), *ini != 0) << ini;
        EXPECT_EQ(s.Log("jsonl"), *ini == 0 ? "" : head + R"J(,"source":"N0CALL-7","destination":"APRS","digipeaters":[],)J"
                  R"J("control":"UI","control_byte":3,"pid":240,"payload_hex":"48 69 0D","payload_text":"Hi\u000D"})J"
                  "\n" + head + "}\n");
    }
}

TEST(Station, DailyLogsRollAtMidnightUtcWithEveryFrameWholeInOneSet)
{
    for (const bool daily : {true, false}) {
        SCOPED_TRACE(daily);
        Running s(daily ? "LOG_ROTATE=DAILY\r\nTIMEFRAMES=YES\r\n" : "TIMEFRAMES=YES\r\n", "", "", false);
        s.clock.Set(At(23h + 59min + 59s + 900ms));
        s.station->Start();
        const auto before = s.clock.Now();
        ASSERT_TRUE(s.Send(kFrame));
        s.clock.Advance(50ms);
        s.station->Tick();  // still the old day
        s.clock.Advance(100ms);
        const auto after = s.clock.Now();  // 00:00:00.050 the next day
        ASSERT_TRUE(s.Send(kFrame + kFrame));
        s.station->Tick();
        s.station->Stop();
        const auto log = [&](const char* name) { return ReadFile(s.dir.filePath(name).toStdString()); };
        const std::string first = EncodeTimeFrame(before) + kFrame, next = EncodeTimeFrame(after) + kFrame;
        if (daily) {
            EXPECT_EQ(log("28072013_2359.kss"), first);
            EXPECT_EQ(log("29072013_0000.kss"), next + next);
            EXPECT_EQ(Count(log("29072013_0000.dump"), "\r\n"), 2u);
        } else {
            EXPECT_EQ(log("28072013_2359.kss"), first + next + next);
        }
        EXPECT_EQ(QDir(s.dir.path()).entryList({"2*.*"}).size(), daily ? 4 : 2);
    }
}

TEST(Station, ReopenedLogsAreCreatedAnewAfterTheyWereRenamedAwayAndLoseNoFrame)
{
    Running s("TIMEFRAMES=NO\r\n");
    const std::string second = Kiss({{"APRS"}, {"N0CALL", 8}, {}, 3, 0xF0, "again"});
    ASSERT_TRUE(s.Send(kFrame));
    for (const char* ending : {"kss", "dump"})
        ASSERT_TRUE(QFile::rename(s.dir.filePath(QStringLiteral("28072013_1405.") + ending),
                                  s.dir.filePath(QStringLiteral("28072013_1405.") + ending + ".1")));
    s.station->ReopenLogs();
    EXPECT_EQ(s.view.status, "logs reopened: 28072013_1405\r\n");
    ASSERT_TRUE(s.Send(second));
    EXPECT_EQ(ReadFile(s.dir.filePath("28072013_1405.kss.1").toStdString()), kFrame);
    EXPECT_EQ(s.Log("kss"), second);
    EXPECT_EQ(s.Log("dump"), "again\r\n");
}

// A disk that fills up and is freed again, as this process's file size limit:
// lowered, a write that crosses it is cut short there and the next one fails
// (EFBIG; the SIGXFSZ it raises is ignored meanwhile). The limit and the
// signal's handling are put back as they were, whatever happens.
struct FillingDisk {
    rlimit original{};
    struct sigaction before {};
    bool ready = false;
    FillingDisk()
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ready = ::getrlimit(RLIMIT_FSIZE, &original) == 0 && ::sigaction(SIGXFSZ, &ignore, &before) == 0;
    }
    ~FillingDisk()
    {
        Free();
        if (ready)
            ::sigaction(SIGXFSZ, &before, nullptr);
    }
    // Full at `bytes` into any file.
    bool FullAt(std::uint64_t bytes) const
    {
        rlimit lowered = original;
        lowered.rlim_cur = std::min<rlim_t>(bytes, original.rlim_cur);
        return ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    void Free() const { ::setrlimit(RLIMIT_FSIZE, &original); }
};

// What each log gets of each frame, by the frame's number ("" for nothing).
struct LogRecords final : ReceiveSink {
    std::vector<std::string> kss, dump, hex;
    void RawLog(std::string_view record) override { kss.emplace_back(record), dump.emplace_back(), hex.emplace_back(); }
    void DumpLog(std::string_view line) override { dump.back() = line; }
    void HexLog(std::string_view line) override { hex.back() = line; }
};

// A log read as the records it was given, in order: the number of the frame
// of each, up to the first piece that is no whole record of a later frame
// (then -1 and the rest is not read).
std::vector<int> RecordsIn(std::string_view log, const std::vector<std::string>& records)
{
    std::vector<int> found;
    for (std::size_t next = 0; !log.empty();) {
        while (next < records.size() && (records[next].empty() || !log.starts_with(records[next])))
            ++next;
        if (next == records.size())
            return found.push_back(-1), found;
        found.push_back(int(next));
        log.remove_prefix(records[next++].size());
    }
    return found;
}

// The pieces of a log that are no record: lines (up to CR LF) that were not
// written as they stand, or in the raw log, frames (cut by the frame
// assembler as quillon-dump cuts them) that were not sent, or not behind a
// time frame of their own.
std::size_t Fragments(const std::string& log, const std::vector<std::string>& records, bool raw)
{
    std::size_t fragments = 0;
    if (raw) {
        struct : ReceiveSink {
            std::vector<std::string> frames;
            std::vector<bool> timed;
            bool time = false;
            void LogTime(std::chrono::system_clock::time_point) override { time = true; }
            void RawLog(std::string_view frame) override { frames.emplace_back(frame), timed.push_back(time), time = false; }
        } read;
        FeedReceiver(log, true, read);
        for (std::size_t i = 0; i < read.frames.size(); ++i)
            fragments += !read.timed[i] || std::none_of(records.begin(), records.end(), [&](const std::string& r) {
                return r.size() > std::size_t(kTimeFrameLength) && r.substr(kTimeFrameLength) == read.frames[i]; });
        return fragments;
    }
    std::size_t at = 0;
    for (std::size_t end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2)
        fragments += std::find(records.begin(), records.end(), log.substr(at, end + 2 - at)) == records.end();
    return fragments + (at < log.size());
}

TEST(Station, AFullDiskCutsNoRecordAndTheLogsTakeUpWholeRecordsWhenItIsFreed)
{
    FillingDisk disk;
    ASSERT_TRUE(disk.ready);
    Running s("TIMEFRAMES=YES\r\nHEXFILE=YES\r\n");
    const auto frames = ManyFrames(150, 31);
    // The same frames through a pipeline of the test's own, each a millisecond
    // after the one before, as the station gets them.
    LogRecords sent;
    FakeClock clock(s.clock.Now());
    Receiver reference(clock, {.report = {.timeFrames = true, .hexFile = true}});
    for (const std::string& frame : frames)
        clock.Advance(1ms), reference.Feed(frame, sent);
    ASSERT_EQ(sent.kss.size(), frames.size());

    const char* endings[] = {"kss", "dump", "hex"};
    const std::vector<std::string>* records[] = {&sent.kss, &sent.dump, &sent.hex};
    std::mt19937 random(31);
    std::vector<std::size_t> afterFreeing;
    bool toldFull = false;
    // Rounds of five frames: the disk fills in the middle of the next record
    // of one log (each log in turn), three frames come, the disk is freed,
    // two more come.
    for (std::size_t i = 0, round = 0; i < frames.size(); ++round) {
        const std::size_t log = round % 3;
        const std::size_t size = s.Log(endings[log]).size(), next = (*records[log])[i].size();
        ASSERT_TRUE(disk.FullAt(size + 1 + random() % std::max<std::size_t>(next - 1, 1)));
        for (const std::size_t full = i + 3; i < full + 2; ++i) {
            if (i == full) {
                toldFull = toldFull || !s.view.logFailures.empty();
                disk.Free();
            }
            if (i >= full)
                afterFreeing.push_back(i);
            s.clock.Advance(1ms);
            ASSERT_TRUE(s.Send(frames[i]));
        }
    }
    EXPECT_TRUE(toldFull);
    EXPECT_EQ(s.view.logFailures, std::vector<std::string>{}) << "still failing after the disk was freed";

    for (std::size_t log = 0; log < 3; ++log) {
        SCOPED_TRACE(endings[log]);
        const std::string text = s.Log(endings[log]);
        EXPECT_EQ(Fragments(text, *records[log], log == 0), 0u) << "pieces of records";
        const std::vector<int> found = RecordsIn(text, *records[log]);
        EXPECT_TRUE(found.empty() || found.back() >= 0) << "a piece of a record after " << found.size() - 1 << " whole ones";
        const auto missing = std::count_if(afterFreeing.begin(), afterFreeing.end(), [&](std::size_t i) {
            return !(*records[log])[i].empty() && std::count(found.begin(), found.end(), int(i)) != 1; });
        EXPECT_EQ(missing, 0) << "frames written with room on the disk that are not in the log once";
        // Some records of each log were left out: the disk was full for them.
        EXPECT_LT(found.size(), frames.size());
    }
}

}  // namespace
}  // namespace quillon::test
