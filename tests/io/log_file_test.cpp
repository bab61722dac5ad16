// One log file: written without waiting where flocks are record locks, cut back to its last whole record.
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "log_file.h"
#include "program.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

// Another run's shared flock as an NFS or SMB client keeps it (a read lock over the whole file): the
// log is written without record locks, never waiting, and without a word.
TEST(LogFile, ALogWhoseFlocksAreRecordLocksIsWrittenWithoutWaitingForTheWriteLock)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("06122026_1530.kss").toStdString();
    const int other = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct flock shared {};
    shared.l_type = F_RDLCK;
    shared.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &shared), 0);
    LogFile log;
    ASSERT_TRUE(log.Open(path, LogRecords::KissFrames));
    ::alarm(20);  // a write that waited for the lock would wait for good
    EXPECT_TRUE(log.Write("\xC0\x00\x41\xC0"sv));
    EXPECT_EQ(log.Failure(), 0);
    ::alarm(0);
    ::close(other);
    EXPECT_EQ(ReadFile(path), "\xC0\x00\x41\xC0"sv);
}

// The end of a log as a killed run leaves it, and what opening it leaves of it; the room reserved
// for the records is given back at the close.
TEST(LogFile, AnEndCutOffInARecordIsCutBackWhenTheLogIsOpened)
{
    const std::string fends = "\xC0\x00\x41\xC0\xC0\x00\x42\xC0"s;
    struct Case {
        LogRecords records;
        std::string before, after;
    };
    const Case cases[] = {
        {LogRecords::KissFrames, fends, fends},
        {LogRecords::KissFrames, fends + "\xC0\x00\x43"s, fends},
        {LogRecords::KissFrames, fends + "\xC0", fends},  // only the opening FEND of the next
        {LogRecords::KissFrames, "\xC0\x00"s, ""},
        {LogRecords::KissFrames, "", ""},
        {LogRecords::Lines, "a\r\nb\r\n", "a\r\nb\r\n"},
        {LogRecords::Lines, "a\r\nb\r\nc", "a\r\nb\r\n"},
        {LogRecords::Lines, "a\r\nb\r", "a\r\n"},
        {LogRecords::Lines, "a", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        QTemporaryDir dir;
        const std::string path = dir.filePath("06122026_1530.log").toStdString();
        WriteFile(path, c.before);
        LogFile log;
        ASSERT_TRUE(log.Open(path, c.records));
        EXPECT_EQ(log.Failure(), 0);
        EXPECT_EQ(log.CutBytes(), c.before.size() - c.after.size());
        const std::string next = c.records == LogRecords::Lines ? "next\r\n"s : "\xC0\x00\x4E\xC0"s;
        EXPECT_TRUE(log.Write(next));
        log.Close();
        EXPECT_EQ(ReadFile(path), c.after + next);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_LT(st.st_blocks * 512, 64 * 1024) << "reserved room left behind the end";
    }
}

}  // namespace
}  // namespace quillon::test
