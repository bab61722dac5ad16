// The real program and its logs: with its folder on a small file system that
// fills up, the log that cannot be written is named with the reason, the
// frames still go through, and the log takes up again once there is room;
// three runs started in the same minute share their logs, every frame whole
// and behind its own time frame.
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "e2e_station.h"
#include "tnc/time_frame.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

// A tmpfs over a temporary folder with room for the binary and a little
// more, unmounted at the end whatever happens.
struct SmallDisk {
    QTemporaryDir mountPoint;
    std::string path = mountPoint.path().toStdString();
    bool mounted = false;
    std::string error;
    SmallDisk()
    {
        const std::string size = "size=" + std::to_string(fs::file_size(BuiltProgram("quillon")) / 1024 + 1024) + "k";
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, size.c_str()) == 0;
        error = mounted ? "" : std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(path.c_str(), MNT_DETACH);
    }
    // Writes a file until the disk is full.
    void Fill(const std::string& name) const
    {
        const int fd = ::open((path + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const std::string chunk(4096, 'x');
        while (::write(fd, chunk.data(), chunk.size()) > 0) {
        }
        ::close(fd);
    }
};

TEST(EndToEnd, ALogOnAFullDiskIsNamedUntilItWritesAgainAndEveryFrameGoesOn)
{
    SmallDisk disk;
    if (!disk.mounted)
        GTEST_SKIP() << "no tmpfs can be mounted here (" << disk.error << "); this test needs root";
    fs::copy_file(BuiltProgram("quillon"), disk.path + "/quillon");
    ProgramFolder folder(disk.path);
    folder.Write("quillon.ini", kIni + "MIRROR=YES\r\nTIMEFRAMES=NO\r\n");
    RunningQuillon q(folder, {"QUILLON_STATUS_TO_STDERR=1"});
    ASSERT_TRUE(q.WaitStarted()) << q.Output();
    const std::string kss = folder.LogName(".kss"), dump = folder.LogName(".dump");
    const std::string full = kss + ": No space left on device", dumpFull = dump + ": No space left on device";
    const auto said = [&](const std::string& line) {
        return QTest::qWaitFor([&] { return q.Output().find(line + "\n") != std::string::npos; }, 60000);
    };

    disk.Fill("filler");
    const auto frames = ManyFrames(3, 13);
    for (const std::string& frame : {frames[0], frames[1]}) {
        ASSERT_TRUE(folder.Com1().WriteAll(frame));
        // Mirrored: the receive event was handled to its end.
        EXPECT_EQ(folder.Com2().ReadUntil([&](const std::string& got) { return got.size() >= frame.size(); }, 60s),
                  frame);
    }
    EXPECT_TRUE(said(full) && said(dumpFull)) << q.Output();
    // An idle line after the failure: the program goes on reporting.
    EXPECT_TRUE(QTest::qWaitFor([&] { return q.Output().find(" sec since last packet", q.Output().find(full)) !=
                                             std::string::npos; }, 60000)) << q.Output();
    EXPECT_TRUE(q.Running());

    fs::remove(disk.path + "/filler");
    ASSERT_TRUE(folder.Com1().WriteAll(frames[2]));
    EXPECT_TRUE(said(kss + ": writing again") && said(dump + ": writing again")) << q.Output();
    EXPECT_EQ(q.Stop(), 0);
    // Each said once; the raw log holds the frame that came when there was room.
    EXPECT_EQ(Count(q.Output(), full), 1u);
    EXPECT_EQ(Count(q.Output(), kss + ": writing again"), 1u);
    EXPECT_TRUE(folder.Read(kss) == frames[2]) << folder.Read(kss).size() << " bytes in the raw log";
}

TEST(EndToEnd, ThreeRunsInTheSameMinuteShareTheirLogsAndEveryFrameStaysBehindItsOwnTimeFrame)
{
    constexpr int kRuns = 3;
    constexpr std::size_t kFrames = 2000;  // a run
    ProgramFolder folder;
    // Run k reads COM 2k+1 and has COM 2k+2 as its mirror port: COM3 to COM6
    // are pseudo-terminals of the test's own.
    std::vector<std::unique_ptr<Pty>> ports;
    for (int n = 3; n <= 2 * kRuns; ++n) {
        ports.push_back(std::make_unique<Pty>());
        fs::create_symlink(ports.back()->SlavePath(), folder.File("COM" + std::to_string(n)));
    }
    Pty* inputs[kRuns] = {&folder.Com1(), ports[0].get(), ports[2].get()};
    // Each run's frames on KISS port k (the command byte's upper four bits),
    // so that the log tells whose a frame is.
    std::vector<std::string> frames[kRuns];
    std::string streams[kRuns];
    for (int k = 0; k < kRuns; ++k) {
        frames[k] = ManyFrames(kFrames, 40 + unsigned(k));
        for (std::string& frame : frames[k])
            frame[1] = char(k << 4 | (frame[1] & 0x8F));
        streams[k] = Joined(frames[k]);
    }
    constexpr std::size_t kEveryFrame = kRuns * kFrames;

    // The same minute for all three, whenever each starts; each reads the
    // settings as they are when it starts.
    const QStringList sameMinute = {QStringLiteral("QUILLON_LOG_TIME=2026-12-06 21:36:05.613")};
    std::optional<RunningQuillon> runs[kRuns];
    for (int k = 0; k < kRuns; ++k) {
        folder.Write("quillon.ini", "COM_PORT=" + std::to_string(2 * k + 1) + "\r\nMIRROR_COM_PORT=" +
                                        std::to_string(2 * k + 2) + "\r\nTIMEFRAMES=YES\r\n");
        runs[k].emplace(folder, sameMinute, QStringList{}, std::string{}, QStringList{"--headless"});
        ASSERT_TRUE(PollUntil([&] { return !runs[k]->Running() || inputs[k]->PeerOpen(); }, 60s) && runs[k]->Running())
            << "run " << k << ":\n" << runs[k]->Output();
    }

    // All three at once: a piece of 1 to 1,000 bytes to each in turn.
    const auto start = std::chrono::steady_clock::now();
    std::mt19937 random(40);
    for (std::size_t at[kRuns] = {}; at[0] < streams[0].size() || at[1] < streams[1].size() || at[2] < streams[2].size();)
        for (int k = 0; k < kRuns; ++k) {
            const std::string_view piece = std::string_view(streams[k]).substr(at[k], 1 + random() % 1000);
            ASSERT_TRUE(inputs[k]->WriteAll(piece));
            at[k] += piece.size();
        }
    const std::string kss = folder.LogName(".kss");
    EXPECT_EQ(kss, "06122026_2136.kss");
    const auto logged = [&] {
        for (auto& run : runs)
            run->Output();  // a full pipe would hold the run up
        return Through(folder.Read(kss), true).frames.size() >= kEveryFrame;
    };
    EXPECT_TRUE(PollUntil(logged, 120s));
    for (auto& run : runs)
        run->Signal(SIGTERM);
    for (int k = 0; k < kRuns; ++k)
        EXPECT_EQ(runs[k]->WaitExit(), 0) << "run " << k << ":\n" << runs[k]->Output();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

    const Tally read = Through(folder.Read(kss), true);
    EXPECT_EQ(read.frames.size(), kEveryFrame);
    EXPECT_EQ(read.untimed, 0u) << "frames without a time frame of their own, of " << read.frames.size();
    EXPECT_EQ(read.times.size(), read.frames.size());
    EXPECT_EQ(folder.Read(kss).size(), (streams[0] + streams[1] + streams[2]).size() + kEveryFrame * kTimeFrameLength);
    // Each run's frames in the order it got them.
    for (int k = 0; k < kRuns; ++k) {
        std::vector<std::string> own;
        std::copy_if(read.frames.begin(), read.frames.end(), std::back_inserter(own),
                     [k](const std::string& frame) { return frame.size() > 1 && (frame[1] & 0x70) == k << 4; });
        EXPECT_TRUE(own == frames[k]) << "run " << k << ": " << own.size() << " frames";
    }
    const std::string dump = folder.ReadLog(".dump");
    EXPECT_EQ(Count(dump, "\r\n"), kEveryFrame);
    EXPECT_TRUE(dump.ends_with("\r\n"));
    std::printf("%zu frames from %d runs into one raw log in %lld ms\n", kEveryFrame, kRuns,
                static_cast<long long>(took.count()));
}

}  // namespace
}  // namespace quillon::test
