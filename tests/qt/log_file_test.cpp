// A log file on real files: the end-of-run cleanup leaves a log that another
// run holds; a log whose file system keeps flocks as record locks is written
// without waiting for a lock it can never have.
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "log_file.h"

namespace quillon::test {
namespace {

using namespace std::string_view_literals;

TEST(LogFile, TheCleanupDeletesAnEmptyLogOnlyWhenNoOtherRunHoldsIt)
{
    QTemporaryDir dir;
    const std::string shared = dir.filePath("06122026_1530.kss").toStdString(),
                      alone = dir.filePath("06122026_1530.dump").toStdString();
    LogFile first, second, own;
    ASSERT_TRUE(first.Open(shared) && second.Open(shared) && own.Open(alone));
    first.Close();
    own.Close();
    DeleteEmptyLogs({shared, alone});
    EXPECT_TRUE(QFile::exists(QString::fromStdString(shared)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(alone)));
    // The run that goes on writes into the file that is still there.
    ASSERT_TRUE(second.Write("\xC0\x00\xC0"sv));
    second.Close();
    DeleteEmptyLogs({shared});
    QFile kept(QString::fromStdString(shared));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("\xC0\x00\xC0", 3));
}

TEST(LogFile, ALogWhoseFlocksAreRecordLocksIsWrittenWithoutWaitingForTheWriteLock)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("06122026_1530.kss").toStdString();
    // Another run's shared flock as an NFS or SMB client keeps it: a read
    // lock over the whole file, which no write lock gets past.
    const int other = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct flock shared {};
    shared.l_type = F_RDLCK;
    shared.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &shared), 0);
    LogFile log;
    ASSERT_TRUE(log.Open(path));
    // A write that waited for the lock would wait for good: the alarm ends
    // the test program instead.
    ::alarm(20);
    EXPECT_TRUE(log.Write("\xC0\x00\xC0"sv));
    ::alarm(0);
    ::close(other);
    QFile written(QString::fromStdString(path));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("\xC0\x00\xC0", 3));
}

}  // namespace
}  // namespace quillon::test
