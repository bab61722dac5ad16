// A log file on real files: the end-of-run cleanup leaves a log that another
// run holds.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quillon::test
