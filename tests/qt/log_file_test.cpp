// The log files on real files: the end-of-run cleanup leaves a log that
// another run holds, and the window's indicator shows each log that cannot be
// written (a link to /dev/full is a log on a full disk, one in a missing
// folder cannot be opened) until it writes again.
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

#include "log_file.h"
#include "log_indicator.h"

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

TEST(LogIndicator, ShowsEachFailingLogUntilItWritesAgainAndSaysSoOnceOnStderr)
{
    QTemporaryDir dir;
    const QString raw = dir.filePath("06122026_1530.kss"), dump = dir.filePath("06122026_1530.dump");
    const auto full = [](const QString& path) { QFile::remove(path), QFile::link("/dev/full", path); };
    const auto disk = [](const QString& path) { QFile::remove(path); };
    LogFile rawLog, dumpLog;
    LogIndicator indicator;
    const std::string enospc = ": No space left on device";
    struct Step {
        std::function<void(const QString&)> rawOn, dumpOn;  // where each log is (re)opened
        std::string shown, said;  // the indicator's text, and what standard error got
    };
    const std::vector<Step> steps = {
        {full, disk, "06122026_1530.kss" + enospc, "06122026_1530.kss" + enospc + "\n"},
        {nullptr, full, "06122026_1530.kss" + enospc + "\n06122026_1530.dump" + enospc,
         "06122026_1530.dump" + enospc + "\n"},
        {disk, nullptr, "06122026_1530.dump" + enospc, "06122026_1530.kss: writing again\n"},
        {nullptr, disk, "", "06122026_1530.dump: writing again\n"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        for (auto [on, log, path] : {std::tuple(s.rawOn, &rawLog, raw), std::tuple(s.dumpOn, &dumpLog, dump)})
            if (on) {
                on(path);
                ASSERT_TRUE(log->Open(path.toStdString()));
            }
        testing::internal::CaptureStderr();
        for (int frame = 0; frame < 3; ++frame) {
            rawLog.Write("\xC0\x00\x41\xC0"sv), indicator.Note(rawLog);
            dumpLog.Write("A\r\n"), indicator.Note(dumpLog);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), s.said) << "step " << i;
        EXPECT_EQ(indicator.text().toStdString(), s.shown) << "step " << i;
        EXPECT_EQ(indicator.isHidden(), s.shown.empty()) << "step " << i;
    }
    // A log that could not be opened fails every write, for that reason.
    LogFile hexLog;
    EXPECT_FALSE(hexLog.Open(dir.filePath("gone/06122026_1530.hex").toStdString()));
    testing::internal::CaptureStderr();
    hexLog.Write("41\r\n"), indicator.Note(hexLog);
    const std::string gone = "06122026_1530.hex: No such file or directory";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), gone + "\n");
    EXPECT_EQ(indicator.text().toStdString(), gone);
}

}  // namespace
}  // namespace quillon::test
