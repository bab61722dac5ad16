// The real program's logs on a small file system that fills up, under a file size limit, killed and
// started again, and shared by two runs.
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "e2e_station.h"
#include "text/lines.h"
#include "tnc/time_frame.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A tmpfs with the binary and room for a little more, unmounted at the end.
struct SmallDisk {
    QTemporaryDir mountPoint;
    std::string path = mountPoint.path().toStdString();
    bool mounted = false;
    SmallDisk()
    {
        const std::string size = "size=" + std::to_string(fs::file_size(BuiltProgram("quillon")) / 1024 + 1024) + "k";
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, size.c_str()) == 0;
        if (mounted)
            fs::copy_file(BuiltProgram("quillon"), path + "/quillon");
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(path.c_str(), MNT_DETACH);
    }
    // A file until the disk is full, `room` bytes of it given back; false when there was less room.
    bool Fill(const std::string& name, std::uintmax_t room = 0) const
    {
        const std::string file = path + "/" + name;
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const std::string chunk(4096, 'x');
        // A write can fail while a program holds room for a moment.
        for (int tries = 0; tries < 100 && fs::space(path).available > 0; ++tries)
            while (::write(fd, chunk.data(), chunk.size()) > 0) {
            }
        ::close(fd);
        if (fs::file_size(file) < room)
            return false;
        fs::resize_file(file, fs::file_size(file) - room);
        return true;
    }
};

// Every record of the logs whole: each raw frame one of `sent` behind its time frame, each text line
// one the frames make, never two glued together nor a piece of one.
void ExpectWholeRecords(const ProgramFolder& folder, const std::vector<std::string>& sent)
{
    const Tally raw = Through(folder.ReadLog(".kss"), true), made = Through(Joined(sent), false);
    EXPECT_EQ(raw.untimed, 0u);
    EXPECT_EQ(raw.times.size(), raw.frames.size());
    for (const std::string& frame : raw.frames)
        EXPECT_NE(std::find(sent.begin(), sent.end(), frame), sent.end()) << "a frame never sent in the raw log";
    // The dump log's lines behind their time, "2026-12-06 21:36:05.613 UTC: ".
    for (const auto& [ending, lines, stamp] : {std::tuple(".dump", "\n" + made.dump, 29), {".hex", "\n" + made.hex, 0}}) {
        const std::string log = folder.ReadLog(ending);
        EXPECT_TRUE(log.empty() || log.ends_with("\r\n")) << ending;
        for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
            const std::string line = log.substr(at, end + 2 - at);
            EXPECT_TRUE(line.size() >= std::size_t(stamp) &&
                        lines.find("\n" + line.substr(std::size_t(stamp))) != std::string::npos)
                << ending << ": " << line;
        }
    }
    const std::string json = folder.ReadLog(".jsonl");
    EXPECT_TRUE(json.empty() || json.ends_with("}\n"));
    for (const std::string_view line : SplitLines(json))
        EXPECT_TRUE(line.starts_with("{\"time\":") && line.ends_with("}") && Count(std::string(line), "\"time\"") == 1)
            << line;
}

TEST(EndToEnd, ALogOnAFullDiskIsNamedUntilItWritesAgainAndEveryFrameGoesOn)
{
    SmallDisk disk;
    if (!disk.mounted)
        GTEST_SKIP() << "no tmpfs can be mounted here: this test needs root";
    ProgramFolder folder(disk.path);
    folder.Write("quillon.ini", kIni + "MIRROR=YES\r\nTIMEFRAMES=NO\r\n");
    RunningQuillon q(folder, {"QUILLON_STATUS_TO_STDERR=1"});
    ASSERT_TRUE(q.WaitStarted()) << q.Output();
    const std::string kss = folder.LogName(".kss"), dump = folder.LogName(".dump");
    const std::string full = kss + ": No space left on device";
    const auto said = [&](const std::string& line) {
        return QTest::qWaitFor([&] { return q.Output().find(line + "\n") != std::string::npos; }, 60000);
    };

    disk.Fill("filler");
    const auto frames = ManyFrames(3, 13);
    for (const std::string& frame : {frames[0], frames[1]}) {
        ASSERT_TRUE(folder.Com1().WriteAll(frame));
        EXPECT_EQ(folder.Com2().ReadUntil([&](const std::string& got) { return got.size() >= frame.size(); }, 60s),
                  frame);
    }
    EXPECT_TRUE(said(full) && said(dump + ": No space left on device")) << q.Output();
    // The program goes on reporting.
    EXPECT_TRUE(QTest::qWaitFor([&] { return q.Output().find(" sec since last packet", q.Output().find(full)) !=
                                             std::string::npos; }, 60000)) << q.Output();
    EXPECT_TRUE(q.Running());

    fs::remove(disk.path + "/filler");
    ASSERT_TRUE(folder.Com1().WriteAll(frames[2]));
    EXPECT_TRUE(said(kss + ": writing again") && said(dump + ": writing again")) << q.Output();
    EXPECT_EQ(q.Stop(), 0);
    EXPECT_TRUE(folder.Read(kss) == frames[2]) << folder.Read(kss).size() << " bytes in the raw log";
}

// Runs killed while they write on a nearly full disk, each started again in the same minute: every
// record whole. A piece of a record put at the end of each log the last run takes off and names.
TEST(EndToEnd, RunsKilledOnAFullDiskAndStartedAgainInTheSameMinuteLeaveEveryRecordWhole)
{
    SmallDisk disk;
    if (!disk.mounted)
        GTEST_SKIP() << "no tmpfs can be mounted here: this test needs root";
    ProgramFolder folder(disk.path);
    folder.Write("quillon.ini", kIni + "TIMEFRAMES=YES\r\nJSONFILE=YES\r\n");
    const QStringList environment = {"QUILLON_LOG_TIME=2026-12-06 21:36:05.613"};
    std::vector<std::string> sent;
    for (unsigned run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        // A new device each time, without the frames the killed run did not read.
        folder.Replug(1);
        RunningQuillon q(folder, environment, {}, {}, {"--headless"});
        ASSERT_TRUE(q.WaitStarted()) << q.Output();
        ASSERT_TRUE(disk.Fill("filler", 10240));
        const auto frames = ManyFrames(400, 70 + run);
        sent.insert(sent.end(), frames.begin(), frames.end());
        ASSERT_TRUE(Play(folder.Com1(), Joined(frames), run));
        ASSERT_TRUE(QTest::qWaitFor([&] { return q.Output().find("No space left on device") != std::string::npos; },
                                    60000)) << q.Output();
        q.Signal(SIGKILL);
        q.WaitExit();
        fs::remove(disk.path + "/filler");
        ExpectWholeRecords(folder, sent);
    }
    for (const auto& [ending, piece] : {std::pair(".kss", std::string("\xC0\x00\x86\xA2", 4)), {".dump", "Hi "s},
                                        {".hex", "48 69"s}, {".jsonl", "{\"time\":\"2026"s}})
        WriteFile(folder.File(folder.LogName(ending)), folder.ReadLog(ending) + piece);
    folder.Replug(1);
    RunningQuillon q(folder, environment, {}, {}, {"--headless"});
    ASSERT_TRUE(q.WaitStarted()) << q.Output();
    const auto frames = ManyFrames(5, 80);
    sent.insert(sent.end(), frames.begin(), frames.end());
    ASSERT_TRUE(folder.Com1().WriteAll(Joined(frames)));
    ASSERT_TRUE(PollUntil([&] { return Through(folder.ReadLog(".kss"), true).Frames().ends_with(Joined(frames)); }, 60s));
    EXPECT_EQ(q.Stop(), 0);
    for (const auto& [ending, cut] : {std::pair(".kss", 4), {".dump", 3}, {".hex", 5}, {".jsonl", 13}})
        EXPECT_EQ(Count(q.Output(), folder.LogName(ending) + ": " + std::to_string(cut) +
                                        " bytes of a cut record taken off its end\n"), 1u) << q.Output();
    ExpectWholeRecords(folder, sent);
}

// A file size limit (ulimit -f): the logs that reach it say so, the run goes on (SIGXFSZ ignored),
// SIGTERM ends it at once, and every record is whole.
TEST(EndToEnd, AFileSizeLimitStopsNothing)
{
    Station s(kIni + "TIMEFRAMES=YES\r\nJSONFILE=YES\r\n");
    s.q.emplace(s.folder, QStringList{"QUILLON_STATUS_TO_STDERR=1"},
                QStringList{"sh", "-c", "ulimit -f 64 && exec \"$0\" \"$@\""});
    ASSERT_TRUE(s.q->WaitStarted()) << s.Output();
    const auto frames = ManyFrames(1000, 64);
    ASSERT_TRUE(Play(s.folder.Com1(), Joined(frames), 64));
    EXPECT_TRUE(QTest::qWaitFor([&] { return s.Output().find(".jsonl: File too large\n") != std::string::npos; }, 60000))
        << s.Output();
    EXPECT_TRUE(s.q->Running());
    s.q->Signal(SIGTERM);
    EXPECT_EQ(s.q->WaitExit(3s), 0) << s.Output();
    ExpectWholeRecords(s.folder, frames);
}

TEST(EndToEnd, TwoRunsInTheSameMinuteShareTheirLogsAndEveryFrameStaysBehindItsOwnTimeFrame)
{
    ProgramFolder folder;
    // The second run on COM3 and COM4.
    Pty com3, com4;
    fs::create_symlink(com3.SlavePath(), folder.File("COM3"));
    fs::create_symlink(com4.SlavePath(), folder.File("COM4"));
    Pty* inputs[] = {&folder.Com1(), &com3};
    // Run k's frames on KISS port k, so that the log tells whose a frame is.
    std::vector<std::string> frames[2];
    std::string streams[2];
    for (int k = 0; k < 2; ++k) {
        frames[k] = ManyFrames(3000, 40 + unsigned(k));
        for (std::string& frame : frames[k])
            frame[1] = char(k << 4 | (frame[1] & 0x8F));
        streams[k] = Joined(frames[k]);
    }
    const std::size_t every = frames[0].size() + frames[1].size();
    // The same minute for both; each reads the settings as they are when it starts.
    std::optional<RunningQuillon> runs[2];
    for (int k = 0; k < 2; ++k) {
        folder.Write("quillon.ini", "COM_PORT=" + std::to_string(2 * k + 1) + "\r\nMIRROR_COM_PORT=" +
                                        std::to_string(2 * k + 2) + "\r\nTIMEFRAMES=YES\r\n");
        runs[k].emplace(folder, QStringList{"QUILLON_LOG_TIME=2026-12-06 21:36:05.613"}, QStringList{}, std::string{},
                        QStringList{"--headless"});
        ASSERT_TRUE(PollUntil([&] { return !runs[k]->Running() || inputs[k]->PeerOpen(); }, 60s) && runs[k]->Running())
            << "run " << k << ":\n" << runs[k]->Output();
    }

    // Both at once: a piece of 1 to 1,000 bytes to each in turn.
    std::mt19937 random(40);
    for (std::size_t at[2] = {}; at[0] < streams[0].size() || at[1] < streams[1].size();)
        for (int k = 0; k < 2; ++k) {
            const std::string_view piece = std::string_view(streams[k]).substr(at[k], 1 + random() % 1000);
            ASSERT_TRUE(inputs[k]->WriteAll(piece));
            at[k] += piece.size();
        }
    const std::string kss = folder.LogName(".kss");
    EXPECT_EQ(kss, "06122026_2136.kss");
    const auto logged = [&] {
        for (auto& run : runs)
            run->Output();  // a full pipe would hold the run up
        return Through(folder.Read(kss), true).frames.size() >= every;
    };
    EXPECT_TRUE(PollUntil(logged, 120s));
    for (auto& run : runs)
        EXPECT_EQ(run->Stop(), 0) << run->Output();

    const Tally read = Through(folder.Read(kss), true);
    EXPECT_EQ(read.frames.size(), every);
    EXPECT_EQ(read.untimed, 0u) << "frames without a time frame of their own, of " << read.frames.size();
    EXPECT_EQ(folder.Read(kss).size(), (streams[0] + streams[1]).size() + every * kTimeFrameLength);
    // Each run's frames in the order it got them.
    for (int k = 0; k < 2; ++k) {
        std::vector<std::string> own;
        std::copy_if(read.frames.begin(), read.frames.end(), std::back_inserter(own),
                     [k](const std::string& frame) { return frame.size() > 1 && (frame[1] & 0x70) == k << 4; });
        EXPECT_TRUE(own == frames[k]) << "run " << k << ": " << own.size() << " frames";
    }
    const std::string dump = folder.ReadLog(".dump");
    EXPECT_TRUE(Count(dump, "\r\n") == every && dump.ends_with("\r\n")) << Count(dump, "\r\n") << " lines";
}

}  // namespace
}  // namespace quillon::test
