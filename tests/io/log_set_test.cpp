// The logs of a run on real files: the end-of-run cleanup, each log that cannot be written told once
// until it writes again, as the window shows it and standard error says it; a full disk cuts no record.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/resource.h>

#include <random>

#include "log_indicator.h"
#include "log_set.h"
#include "program.h"

namespace quillon::test {
namespace {

using namespace std::string_view_literals;

std::string Logs(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files, QDir::Name).join(' ').toStdString();
}

TEST(LogSet, TheCleanupDeletesOnlyTheEmptyLogsThatNoOtherRunHolds)
{
    QTemporaryDir dir;
    LogSet other(dir.path().toStdString()), logs(dir.path().toStdString());
    other.Open("06122026_1530", false);
    logs.Open("06122026_1530", true);
    EXPECT_TRUE(logs.Write(LogKind::Raw, "\xC0\x00\x41\xC0"sv));
    EXPECT_FALSE(other.Write(LogKind::Hex, "41\r\n"));  // not in that set: no failure
    EXPECT_TRUE(other.FailureLines().empty());
    logs.Close();
    EXPECT_FALSE(logs.IsOpen() || logs.Write(LogKind::Raw, "A"));
    EXPECT_EQ(Logs(dir), "06122026_1530.dump 06122026_1530.kss");
    other.Close();
    EXPECT_EQ(Logs(dir), "06122026_1530.kss");
    EXPECT_EQ(ReadFile(dir.filePath("06122026_1530.kss").toStdString()), "\xC0\x00\x41\xC0"sv);
}

TEST(LogSet, EachFailingLogIsToldOnceUntilItWritesAgainAndShownInTheOrderItBeganToFail)
{
    QTemporaryDir dir;
    const std::string kss = "06122026_1530.kss", dmp = "06122026_1530.dump", hx = "06122026_1530.hex";
    const QString raw = dir.filePath("06122026_1530.kss"), dump = dir.filePath("06122026_1530.dump"),
                  hex = dir.filePath("06122026_1530.hex");
    // A link to /dev/full is a log on a full disk, one into a missing folder cannot be opened.
    const QString full = "/dev/full", gone = dir.filePath("gone/06122026_1530.hex"), disk = "";
    LogSet logs(dir.path().toStdString());
    LogIndicator indicator;
    std::string told;
    logs.SetFailureListener([&](const std::string& name, int failure) {
        told += LogChangeLine(name, failure) + "\n";
        indicator.SetLines(logs.FailureLines());
    });
    const std::string enospc = ": No space left on device", enoent = ": No such file or directory";
    struct Step {
        QString rawOn, dumpOn, hexOn;  // where each log is linked to before the logs are (re)opened; "" a file
        std::string shown, said;       // the failing logs, and what standard error is to say
        std::string reason = "";       // told but not to be said: a change of reason
    };
    const std::vector<Step> steps = {
        {full, disk, disk, kss + enospc, kss + enospc + "\n"},
        {full, full, disk, kss + enospc + "\n" + dmp + enospc, dmp + enospc + "\n"},
        {disk, full, disk, dmp + enospc, kss + ": writing again\n"},
        {disk, disk, disk, "", dmp + ": writing again\n"},
        {disk, disk, gone, hx + enoent, hx + enoent + "\n"},
        {disk, disk, full, hx + enospc, "", hx + enospc + "\n"},
        {disk, disk, disk, "", hx + ": writing again\n"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        for (const auto& [path, target] : {std::pair(raw, s.rawOn), {dump, s.dumpOn}, {hex, s.hexOn}}) {
            if (QFileInfo(path).isSymLink() || !target.isEmpty())
                QFile::remove(path);
            if (!target.isEmpty())
                QFile::link(target, path);
        }
        if (logs.IsOpen())
            logs.Reopen();
        else
            logs.Open("06122026_1530", true);
        told.clear();
        for (int frame = 0; frame < 3; ++frame) {
            logs.Write(LogKind::Raw, "\xC0\x00\x41\xC0"sv);
            logs.Write(LogKind::Dump, "A\r\n");
            logs.Write(LogKind::Hex, "41\r\n");
        }
        EXPECT_EQ(told, s.said + s.reason) << "step " << i;
        EXPECT_EQ(indicator.text().toStdString(), s.shown) << "step " << i;
        EXPECT_EQ(indicator.isHidden(), s.shown.empty()) << "step " << i;
    }
    EXPECT_EQ(ReadFile(raw.toStdString()).size(), 5 * 3 * 4u);  // reopened, but created only once back on the disk
}

// Another process's read lock on the open raw log, and a folder in the hex log's place: each told once;
// the raw log written all along, the hex log from the first write after the folder has gone (Retry at a
// tick: the station's test).
TEST(LogSet, ALogLockedByAnotherProcessOrNotYetOpenIsToldOnceAndWrittenAsSoonAsItCan)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("06122026_1530.hex"));
    LogSet logs(dir.path().toStdString());
    std::vector<std::pair<std::string, int>> told;
    std::string notices;
    logs.SetFailureListener([&](const std::string& name, int failure) { told.emplace_back(name, failure); });
    logs.SetNoticeListener([&](const std::string& line) { notices += line + "\n"; });
    logs.Open("06122026_1530", true);
    EXPECT_FALSE(logs.AllOpen());
    const std::string raw = logs.Path(LogKind::Raw);
    const int other = ::open(raw.c_str(), O_RDWR | O_CLOEXEC);
    struct flock shared {};
    shared.l_type = F_RDLCK;
    shared.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &shared), 0);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_TRUE(logs.Write(LogKind::Raw, "\xC0\x00\x41\xC0"sv));
        EXPECT_FALSE(logs.Write(LogKind::Hex, "41\r\n"));
    }
    EXPECT_EQ(logs.FailureLines(), (std::vector<std::string>{"06122026_1530.kss: locked by another process",
                                                             "06122026_1530.hex: Is a directory"}));
    ::close(other);
    ASSERT_TRUE(QDir(dir.path()).rmdir("06122026_1530.hex"));
    EXPECT_TRUE(logs.Write(LogKind::Raw, "\xC0\x00\x42\xC0"sv));
    EXPECT_TRUE(logs.Write(LogKind::Hex, "42\r\n"));
    const std::vector<std::pair<std::string, int>> expected = {{"06122026_1530.kss", kLockedByOther},
                                                               {"06122026_1530.hex", EISDIR},
                                                               {"06122026_1530.kss", 0},
                                                               {"06122026_1530.hex", 0}};
    EXPECT_EQ(told, expected);
    EXPECT_EQ(LogChangeLine("06122026_1530.kss", 0, kLockedByOther),
              "06122026_1530.kss: not locked by another process any more");
    EXPECT_EQ(notices, "");
    EXPECT_EQ(ReadFile(raw).size(), 4 * 4u);
    EXPECT_EQ(ReadFile(logs.Path(LogKind::Hex)), "42\r\n");
}

// A disk that fills up and is freed again, as this process's file size limit (SIGXFSZ ignored meanwhile).
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
    ~FillingDisk() { Free(); if (ready) ::sigaction(SIGXFSZ, &before, nullptr); }
    bool FullAt(rlim_t bytes) const
    {
        const rlimit lowered{std::min(bytes, original.rlim_cur), original.rlim_max};
        return ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    void Free() const { ::setrlimit(RLIMIT_FSIZE, &original); }
};

// A full disk cuts no record short: a log holds exactly the records that had room, and once there is
// room again every log goes on. Rounds of five records each: the disk fills in the middle of the next
// record of one log (each in turn), three come, the disk is freed, two more come.
TEST(LogSet, AFullDiskCutsNoRecordAndTheLogsTakeUpWholeRecordsWhenItIsFreed)
{
    FillingDisk disk;
    ASSERT_TRUE(disk.ready);
    QTemporaryDir dir;
    LogSet logs(dir.path().toStdString());
    bool told = false;
    logs.SetFailureListener([&](const std::string&, int failure) { told = told || failure == EFBIG; });
    logs.Open("06122026_1530", true);
    const LogKind kinds[] = {LogKind::Raw, LogKind::Dump, LogKind::Hex};
    std::mt19937 random(31);
    std::vector<std::string> records[3];
    for (auto& of : records)
        for (int i = 0; i < 150; ++i)
            of.push_back("#" + std::to_string(i) + std::string(2 + random() % 60, char('a' + i % 26)) + "\r\n");
    std::string expected[3];
    for (std::size_t i = 0; i < 150;) {
        const std::size_t log = i / 5 % 3;
        const rlim_t limit = expected[log].size() + 1 + random() % (records[log][i].size() - 1);
        ASSERT_TRUE(disk.FullAt(limit));
        for (const std::size_t full = i + 3; i < full + 2; ++i) {
            if (i == full)
                disk.Free();
            for (std::size_t k = 0; k < 3; ++k) {
                if (i >= full || expected[k].size() + records[k][i].size() <= limit)
                    expected[k] += records[k][i];
                logs.Write(kinds[k], records[k][i]);
            }
        }
    }
    EXPECT_TRUE(told);
    EXPECT_EQ(logs.FailureLines(), std::vector<std::string>{}) << "still failing after the disk was freed";
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_TRUE(ReadFile(logs.Path(kinds[k])) == expected[k]) << logs.Path(kinds[k]);
}

}  // namespace
}  // namespace quillon::test
