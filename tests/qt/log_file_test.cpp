// A log file whose file system keeps flocks as record locks is written
// without waiting for a lock it can never have (the cleanup is the log set's
// test).
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "log_file.h"

namespace quillon::test {
namespace {

using namespace std::string_view_literals;

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
