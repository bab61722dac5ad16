// The logs of a run on real files: the end-of-run cleanup, a reopening after
// the logs were renamed away, a new stem, and each log that cannot be written
// (a link to /dev/full is a log on a full disk, one into a missing folder
// cannot be opened) told once until it writes again, as the window shows it
// and says it on standard error.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

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
    EXPECT_TRUE(logs.IsOpen());
    EXPECT_EQ(logs.Stem(), "06122026_1530");
    EXPECT_EQ(logs.Path(LogKind::Hex), dir.filePath("06122026_1530.hex").toStdString());
    EXPECT_EQ(other.Path(LogKind::Hex), "");
    EXPECT_TRUE(logs.Write(LogKind::Raw, "\xC0\x00\x41\xC0"sv));
    EXPECT_FALSE(other.Write(LogKind::Hex, "41\r\n"));  // not in that set: no failure
    EXPECT_TRUE(other.FailureLines().empty());
    logs.Close();
    EXPECT_FALSE(logs.IsOpen() || logs.Write(LogKind::Raw, "A"));
    EXPECT_EQ(logs.Path(LogKind::Raw), "");
    EXPECT_EQ(Logs(dir), "06122026_1530.dump 06122026_1530.kss");
    other.Close();
    EXPECT_EQ(Logs(dir), "06122026_1530.kss");
    EXPECT_EQ(ReadFile(dir.filePath("06122026_1530.kss").toStdString()), "\xC0\x00\x41\xC0"sv);
}

TEST(LogSet, EachFailingLogIsToldOnceUntilItWritesAgainAndShownInTheOrderItBeganToFail)
{
    QTemporaryDir dir;
    const QString raw = dir.filePath("06122026_1530.kss"), dump = dir.filePath("06122026_1530.dump"),
                  hex = dir.filePath("06122026_1530.hex");
    const QString full = "/dev/full", gone = dir.filePath("gone/06122026_1530.hex"), disk = "";
    LogSet logs(dir.path().toStdString());
    LogIndicator indicator;
    LogFailureEcho echo;
    std::string told;
    logs.SetFailureListener([&](const std::string& name, int failure) {
        told += LogChangeLine(name, failure) + "\n";
        echo.Say(name, failure);
        indicator.SetLines(logs.FailureLines());
    });
    const std::string enospc = ": No space left on device", enoent = ": No such file or directory";
    struct Step {
        QString rawOn, dumpOn, hexOn;  // where each log is linked to before the logs are (re)opened; "" a file
        std::string shown, said;       // the failing logs, and what standard error got
        std::string reason = "";       // told but not said: a change of reason
    };
    const std::vector<Step> steps = {
        {full, disk, disk, "06122026_1530.kss" + enospc, "06122026_1530.kss" + enospc + "\n"},
        {full, full, disk, "06122026_1530.kss" + enospc + "\n06122026_1530.dump" + enospc,
         "06122026_1530.dump" + enospc + "\n"},
        {disk, full, disk, "06122026_1530.dump" + enospc, "06122026_1530.kss: writing again\n"},
        {disk, disk, disk, "", "06122026_1530.dump: writing again\n"},
        {disk, disk, gone, "06122026_1530.hex" + enoent, "06122026_1530.hex" + enoent + "\n"},
        {disk, disk, full, "06122026_1530.hex" + enospc, "", "06122026_1530.hex" + enospc + "\n"},
        {disk, disk, disk, "", "06122026_1530.hex: writing again\n"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        for (const auto& [path, target] : {std::pair(raw, s.rawOn), {dump, s.dumpOn}, {hex, s.hexOn}}) {
            if (QFileInfo(path).isSymLink() || !target.isEmpty())
                QFile::remove(path);
            if (!target.isEmpty())
                QFile::link(target, path);
        }
        logs.IsOpen() ? logs.Reopen() : logs.Open("06122026_1530", true);
        told.clear();
        testing::internal::CaptureStderr();
        for (int frame = 0; frame < 3; ++frame) {
            logs.Write(LogKind::Raw, "\xC0\x00\x41\xC0"sv);
            logs.Write(LogKind::Dump, "A\r\n");
            logs.Write(LogKind::Hex, "41\r\n");
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), s.said) << "step " << i;
        EXPECT_EQ(told, s.said + s.reason) << "step " << i;
        EXPECT_EQ(indicator.text().toStdString(), s.shown) << "step " << i;
        EXPECT_EQ(indicator.isHidden(), s.shown.empty()) << "step " << i;
    }
    EXPECT_EQ(ReadFile(raw.toStdString()).size(), 5 * 3 * 4u);  // reopened, but created only once back on the disk
}

}  // namespace
}  // namespace quillon::test
