// The real program with its folder on a small file system that fills up: the
// log that cannot be written is named with the reason, the frames still go
// through, and the log takes up again once there is room.
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "frames.h"
#include "program.h"

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
    folder.Write("quillon.ini", "COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nMIRROR=YES\r\nTIMEFRAMES=NO\r\n");
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

}  // namespace
}  // namespace quillon::test
