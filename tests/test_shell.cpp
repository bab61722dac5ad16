// The application shell's plain logic: the escape counters, the statistics
// text and the end-of-run cleanup.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/cleanup.h"
#include "app/statistics.h"
#include "support/files.h"
#include "support/kiss_frames.h"
#include "tnc/frame_assembler.h"
#include "tnc/kiss_escapes.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

// Feeds the bytes through the frame assembler and counts the escapes of every
// frame it completes, as the receive path does.
Counters CountStream(const std::string& stream, Counters counters = {})
{
    ReceiveState rx;
    ResetFrameAssembly(rx);
    for (const char c : stream)
        if (AssembleByte(rx, static_cast<std::uint8_t>(c)) == Assembled::Frame)
            CountKissEscapes(rx, counters);
    return counters;
}

struct EscapeRow {
    const char* situation;
    std::string stream;
    int tfesc;
    int tfend;
};

TEST(KissEscapes, CountsEachSequenceAsItCameOverTheLine)
{
    const EscapeRow rows[] = {
        {"a frame without escapes", Bytes("C0 00 41 42 C0"), 0, 0},
        {"an FEND in the data", Bytes("C0 00 41 DB DC 42 C0"), 0, 1},
        {"an FESC in the data", Bytes("C0 00 41 DB DD 42 C0"), 1, 0},
        {"both, twice each", Bytes("C0 00 DB DC DB DD DB DD DB DC C0"), 2, 2},
        {"TFEND and TFESC without an FESC are data", Bytes("C0 00 DC DD C0"), 0, 0},
        {"an FESC followed by other data escapes nothing", Bytes("C0 00 DB 41 DC C0"), 0, 0},
        {"a doubled FESC before TFESC", Bytes("C0 00 DB DB DD C0"), 1, 0},
        {"a dangling FESC before the closing FEND", Bytes("C0 00 41 DB C0"), 0, 0},
        {"sequences in the noise between frames", Bytes("DB DD DB DC C0 00 41 C0"), 0, 0},
        {"two frames back to back", Bytes("C0 DB DC C0 C0 DB DD C0"), 1, 1},
        {"a frame too long for the buffer is dropped",
         Bytes("C0 00 DB DC") + std::string(1100, 'x') + Bytes("C0"), 0, 0},
    };
    for (const EscapeRow& row : rows) {
        const Counters c = CountStream(row.stream);
        EXPECT_EQ(c.TfescCount, row.tfesc) << row.situation;
        EXPECT_EQ(c.TfendCount, row.tfend) << row.situation;
    }
}

TEST(KissEscapes, AddToWhatWasCountedBeforeAndTouchNothingElse)
{
    Counters before;
    before.BytesReceived = 99;
    before.FrameCount = 7;
    before.BytesSent = 5;
    before.TfescCount = 10;
    before.TfendCount = 20;
    const Counters c = CountStream(KissFrame(Ax25UiFrame("CQ", "N0CALL", {}, "\xC0\xDB\xDB")), before);
    EXPECT_EQ(c.TfescCount, 12);
    EXPECT_EQ(c.TfendCount, 21);
    EXPECT_EQ(c.BytesReceived, 99u);
    EXPECT_EQ(c.FrameCount, 7);
    EXPECT_EQ(c.BytesSent, 5);
}

std::string Text(const std::vector<ConsoleRun>& runs)
{
    std::string text;
    for (const ConsoleRun& run : runs)
        text += run.text;
    return text;
}

TEST(StatisticsText, HeadingInBlueThenTheFourCountsInBlack)
{
    Counters c;
    c.BytesReceived = 1234;
    c.FrameCount = 17;
    c.BytesSent = 555;  // not shown
    c.TfescCount = 0;
    c.TfendCount = 2;
    const std::vector<ConsoleRun> expected = {
        {"Statistics", colour::Blue},
        {"\n\n", colour::Black},
        {"1234 Bytes received", colour::Black},
        {"\n", colour::Black},
        {"17 Frames decoded", colour::Black},
        {"\n", colour::Black},
        {"0 TFESC received", colour::Black},
        {"\n", colour::Black},
        {"2 TFEND received", colour::Black},
        {"\n", colour::Black},
    };
    EXPECT_EQ(StatisticsRuns(c), expected);
}

TEST(StatisticsText, NumbersArePlainDecimal)
{
    struct Row {
        const char* situation;
        Counters counters;
        const char* text;
    };
    const Row rows[] = {
        {"before anything arrived", {}, "Statistics\n\n0 Bytes received\n0 Frames decoded\n"
                                        "0 TFESC received\n0 TFEND received\n"},
        {"past four gigabytes and two billion frames",
         {5000000000ULL, 2147483647, 0, 1000000, 2000000},
         "Statistics\n\n5000000000 Bytes received\n2147483647 Frames decoded\n"
         "1000000 TFESC received\n2000000 TFEND received\n"},
        {"the largest byte count",
         {18446744073709551615ULL, 0, 0, 0, 0},
         "Statistics\n\n18446744073709551615 Bytes received\n0 Frames decoded\n"
         "0 TFESC received\n0 TFEND received\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Text(StatisticsRuns(row.counters)), row.text) << row.situation;
}

// A program folder after a run: three logs of the run and what else lies
// there.
class Cleanup : public ::testing::Test {
protected:
    std::string Make(const std::string& name, const std::string& content)
    {
        const std::string path = dir / name;
        WriteBinaryFile(path, content);
        return path;
    }
    bool Exists(const std::string& name) const
    {
        std::error_code ec;
        return fs::exists(fs::symlink_status(dir / name, ec));
    }
    TempDir dir{"quillon-cleanup"};
};

TEST_F(Cleanup, DeletesOnlyTheRunsOwnLogsThatAreEmpty)
{
    const std::string kss = Make("28072013_1405.kss", std::string("\xC0\x00\x41\xC0", 4));
    const std::string dump = Make("28072013_1405.dump", "");
    const std::string hex = Make("28072013_1405.hex", "");
    // Not ours: an earlier run's empty log, a lock file, a hidden marker, an
    // empty script and configuration.
    for (const char* other : {"27072013_0900.dump", "LCK..ttyUSB0", ".marker", "tnc_exit.txt",
                              "quillon.ini"})
        Make(other, "");
    fs::create_directory(dir / "empty-dir");

    DeleteEmptyFiles({kss, dump, hex});

    EXPECT_TRUE(Exists("28072013_1405.kss"));
    EXPECT_FALSE(Exists("28072013_1405.dump"));
    EXPECT_FALSE(Exists("28072013_1405.hex"));
    for (const char* other : {"27072013_0900.dump", "LCK..ttyUSB0", ".marker", "tnc_exit.txt",
                              "quillon.ini", "empty-dir"})
        EXPECT_TRUE(Exists(other)) << other;
}

TEST_F(Cleanup, PassesOverWhatIsNoEmptyFileOfItsOwn)
{
    const std::string target = Make("someone-elses.lock", "");
    fs::create_symlink(target, dir / "28072013_1405.hex");
    fs::create_directory(dir / "28072013_1405.dump");
    const std::string gone = dir / "28072013_1405.kss";  // removed by hand during the run

    // Logs that never opened have no path.
    DeleteEmptyFiles({gone, dir / "28072013_1405.dump", dir / "28072013_1405.hex", "", ""});

    EXPECT_TRUE(Exists("someone-elses.lock"));
    EXPECT_TRUE(Exists("28072013_1405.hex"));
    EXPECT_TRUE(Exists("28072013_1405.dump"));
}

}  // namespace
}  // namespace quillon::test
