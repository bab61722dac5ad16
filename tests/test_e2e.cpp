// End to end: the real quillon binary, offscreen, in a throw-away program
// folder whose COM1 is a pseudo-terminal that the test plays as the TNC. The
// raw log (.kss) must hold every frame exactly as it came over the line, from
// its opening FEND to its closing FEND, and nothing of the noise and the
// stray FENDs between frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/kiss_frames.h"
#include "support/poll_until.h"
#include "support/program_folder.h"
#include "support/running_quillon.h"

namespace quillon::test {
namespace {

using std::chrono::system_clock;

constexpr const char* kIni =
    "# written by test_e2e\r\n"
    "COM_PORT=1\r\n"
    "COM_SETTINGS=9600,N,8,1\r\n"
    "COM_HANDSHAKING=NO\r\n"
    "MIRROR_COM_PORT=2\r\n"
    "MIRROR_COM_SETTINGS=9600,N,8,1\r\n"
    "MIRROR=NO\r\n"
    "HEXFILE=YES\r\n";

const std::string kNoise = "\r\ncmd:\x01\x7F\xFF junk\xDB\xDD";

// A handful of frames as a TNC sends them.
std::vector<std::string> TncFrames()
{
    return {
        KissFrame(Ax25UiFrame("APRS", "N0CALL-7", {"WIDE1-1", "WIDE2-2"},
                              "!4903.50N/07201.75W-Test 001")),
        KissFrame(Ax25UiFrame("CQ", "TEST", {}, "hello, world\r")),
        // Escapes in the payload stay escaped in the log.
        KissFrame(Ax25UiFrame("BEACON", "DL1ABC-15", {"RELAY"}, "bin \xC0\xDB\xC0 end")),
        KissFrame(Ax25UiFrame("ID", "G4XYZ-1", {}, std::string("zero\0byte", 9)), 0x10),
    };
}

// "C0 41 C0 C0 C0 42 C0": two frames around a doubled FEND.
const std::string kDoubledFend = Bytes("C0 41 C0 C0 C0 42 C0");
const std::vector<std::string> kDoubledFendFrames = {Bytes("C0 41 C0"), Bytes("C0 42 C0")};

std::string Join(const std::vector<std::string>& parts)
{
    std::string out;
    for (const auto& p : parts)
        out += p;
    return out;
}

// The frames with noise before the first and between all of them, then the
// doubled-FEND stream.
std::string TncStream(const std::vector<std::string>& frames)
{
    std::string out = kNoise;
    for (const auto& f : frames)
        out += f + kNoise;
    return out + kDoubledFend;
}

std::vector<std::string> ExpectedFrames()
{
    auto frames = TncFrames();
    frames.insert(frames.end(), kDoubledFendFrames.begin(), kDoubledFendFrames.end());
    return frames;
}

::testing::AssertionResult SameBytes(std::string_view log, std::string_view expected)
{
    if (log == expected)
        return ::testing::AssertionSuccess();
    const auto diff = std::mismatch(log.begin(), log.end(), expected.begin(), expected.end());
    const std::size_t at = std::size_t(diff.first - log.begin());
    const std::size_t from = at < 16 ? 0 : at - 16;
    return ::testing::AssertionFailure()
           << "log has " << log.size() << " bytes, expected " << expected.size()
           << "; first difference at byte " << at << "\n  log:      ..."
           << Hex(log.substr(std::min(from, log.size()), 48)) << "\n  expected: ..."
           << Hex(expected.substr(std::min(from, expected.size()), 48));
}

// Writes the stream in pieces of random sizes, so that frames arrive split
// over several reads.
::testing::AssertionResult WriteInPieces(Pty& pty, std::string_view stream, unsigned seed)
{
    std::mt19937 random(seed);
    while (!stream.empty()) {
        const std::size_t n = std::min<std::size_t>(
            stream.size(), std::uniform_int_distribution<std::size_t>(1, 97)(random));
        if (!pty.WriteAll(stream.substr(0, n)))
            return ::testing::AssertionFailure() << "cannot write to COM1's pseudo-terminal";
        stream.remove_prefix(n);
    }
    return ::testing::AssertionSuccess();
}

struct RunResult {
    std::string log;      // the raw log, read after the program ended
    std::string logName;  // its file name
    ExitStatus exit;
    system_clock::time_point started, stopped;
};

// One run: start quillon, play `stream` into COM1, wait until the raw log
// holds `logSize` bytes, end the program with SIGTERM, read the log.
void RunStream(const std::string& ini, std::string_view stream, std::size_t logSize, RunResult& r)
{
    ProgramFolder folder;
    folder.WriteIni(ini);
    r.started = system_clock::now();
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitStarted())
        << "quillon did not open COM1 and create its raw log; its output:\n" << quillon.Output();
    ASSERT_TRUE(WriteInPieces(folder.Com1(), stream, 42));
    const bool complete = PollUntil([&] { return folder.LogSize(".kss") >= logSize; }, 60s);
    r.exit = quillon.Stop();
    r.stopped = system_clock::now();
    r.log = folder.ReadLog(".kss");
    r.logName = folder.LogName(".kss").value_or("");
    EXPECT_TRUE(complete) << "the raw log did not reach " << logSize << " bytes; it has "
                          << r.log.size() << "; output:\n" << quillon.Output();
    EXPECT_TRUE(r.exit.exited && r.exit.code == 0)
        << "SIGTERM should end quillon with status 0; it " << r.exit.Describe()
        << "; output:\n" << quillon.Output();
}

// "yyyy-MM-dd HH:nn:ss.mmm" as a UTC time, false when it is not one.
bool ParseTimestamp(const std::string& text, system_clock::time_point& t)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, used = 0;
    if (text.size() != 23 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%n", &y, &mo, &d, &h, &mi, &s, &ms,
                    &used) != 7 ||
        used != 23 || text[4] != '-' || text[10] != ' ' || text[19] != '.')
        return false;
    using namespace std::chrono;
    const year_month_day date{year(y), month(unsigned(mo)), day(unsigned(d))};
    if (!date.ok() || h > 23 || mi > 59 || s > 59)
        return false;
    t = sys_days(date) + hours(h) + minutes(mi) + seconds(s) + milliseconds(ms);
    return true;
}

// "ddmmyyyy_hhmm.kss" as the UTC minute it names.
bool ParseLogName(const std::string& name, system_clock::time_point& t)
{
    int d = 0, mo = 0, y = 0, h = 0, mi = 0, used = 0;
    if (name.size() != 17 ||
        std::sscanf(name.c_str(), "%2d%2d%4d_%2d%2d.kss%n", &d, &mo, &y, &h, &mi, &used) != 5 ||
        used != 17)
        return false;
    using namespace std::chrono;
    const year_month_day date{year(y), month(unsigned(mo)), day(unsigned(d))};
    t = sys_days(date) + hours(h) + minutes(mi);
    return date.ok() && h < 24 && mi < 60;
}

// Checks one time frame at the front of `log` and removes it.
::testing::AssertionResult TakeTimeFrame(std::string_view& log, const RunResult& r,
                                         system_clock::time_point& previous)
{
    if (log.size() < 30)
        return ::testing::AssertionFailure() << "no room for a time frame: " << Hex(log);
    const std::string_view tf = log.substr(0, 30);
    const std::string stamp(tf.substr(2, 23));
    if (tf[0] != '\xC0' || tf[1] != '\x09' || tf.substr(25, 4) != " UTC" || tf[29] != '\xC0')
        return ::testing::AssertionFailure() << "not a time frame: " << Hex(tf);
    system_clock::time_point t;
    if (!ParseTimestamp(stamp, t))
        return ::testing::AssertionFailure() << "bad timestamp \"" << stamp << "\"";
    const auto started = std::chrono::floor<std::chrono::milliseconds>(r.started);
    if (t < started || t > r.stopped || t < previous)
        return ::testing::AssertionFailure() << "timestamp " << stamp << " out of the run's time";
    previous = t;
    log.remove_prefix(30);
    return ::testing::AssertionSuccess();
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ProgramFolder::BinaryExists())
            GTEST_SKIP() << "the quillon binary is not built yet ("
                         << ProgramFolder::BuiltBinary() << "); build the target quillon first";
    }
};

TEST_F(EndToEnd, RawLogHoldsEachFrameAsReceived)
{
    const std::string expected = Join(ExpectedFrames());
    RunResult r;
    RunStream(std::string(kIni) + "TIMEFRAMES=NO\r\n", TncStream(TncFrames()), expected.size(), r);
    EXPECT_TRUE(SameBytes(r.log, expected));

    system_clock::time_point named;
    ASSERT_TRUE(ParseLogName(r.logName, named)) << "raw log named \"" << r.logName << "\"";
    EXPECT_GE(named, std::chrono::floor<std::chrono::minutes>(r.started)) << r.logName;
    EXPECT_LE(named, r.stopped) << r.logName;
}

TEST_F(EndToEnd, TimeFramePrecedesEachFrame)
{
    const auto frames = ExpectedFrames();
    const std::size_t size = Join(frames).size() + 30 * frames.size();
    RunResult r;
    RunStream(std::string(kIni) + "TIMEFRAMES=yes\r\n", TncStream(TncFrames()), size, r);
    ASSERT_EQ(r.log.size(), size) << Hex(r.log);

    std::string_view log = r.log;
    system_clock::time_point previous{};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(TakeTimeFrame(log, r, previous)) << "before frame " << i;
        ASSERT_TRUE(SameBytes(log.substr(0, frames[i].size()), frames[i])) << "frame " << i;
        log.remove_prefix(frames[i].size());
    }
}

TEST_F(EndToEnd, StrayFendsBetweenManyFramesLoseNoFrame)
{
    // Noise right behind a frame is outside any frame and dropped; the runs
    // of 1 to 3 FENDs before the next frame must not swallow it.
    std::mt19937 random(7);
    std::string stream = "noise";
    std::vector<std::string> frames;
    for (int i = 0; i < 300; ++i) {
        const std::string info = "frame " + std::to_string(i) + std::string(std::size_t(i % 90), '.');
        frames.push_back(KissFrame(Ax25UiFrame("APRS", "N0CALL-" + std::to_string(i % 16), {}, info)));
        stream += std::string(std::uniform_int_distribution<std::size_t>(1, 3)(random), '\xC0');
        stream += frames.back();
        stream += i % 4 == 0 ? kNoise : std::string();
    }
    const std::string expected = Join(frames);
    RunResult r;
    RunStream(std::string(kIni) + "TIMEFRAMES=NO\r\n", stream, expected.size(), r);
    EXPECT_TRUE(SameBytes(r.log, expected));
}

TEST_F(EndToEnd, LogReplayedBySimulatedTncComesBackUnchanged)
{
    // The demo's path: quillon-replay plays a raw log into COM1.
    const std::string input = Join(ExpectedFrames()) + Join(TncFrames());
    TempDir work("quillon-replay-input");
    WriteBinaryFile(work / "input.kss", input);
    ProgramFolder folder;
    folder.WriteIni(std::string(kIni) + "TIMEFRAMES=NO\r\n");

    ChildProcess replay({{std::string(QUILLON_PROGRAM_DIR) + "/quillon-replay", "--link",
                          folder.FilePath("COM1"), "--baud", "38400", "--chunks", "1-40",
                          "--seed", "5", work / "input.kss"},
                         {}, {}, work / "replay.txt"});
    const auto takenOver = [&] {
        return ReadLinkTarget(folder.FilePath("COM1")) != folder.Com1().SlavePath();
    };
    ASSERT_TRUE(PollUntil(takenOver, 30s))
        << "quillon-replay did not take over COM1";
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitRawLog()) << quillon.Output();
    const bool complete = PollUntil([&] { return folder.LogSize(".kss") >= input.size(); }, 60s);
    const ExitStatus quillonExit = quillon.Stop();
    EXPECT_TRUE(complete) << ReadBinaryFile(work / "replay.txt");
    EXPECT_TRUE(quillonExit.exited && quillonExit.code == 0) << quillonExit.Describe();
    EXPECT_TRUE(SameBytes(folder.ReadLog(".kss"), input));
    const ExitStatus replayExit = replay.Stop();
    EXPECT_TRUE(replayExit.exited && replayExit.code == 0) << replayExit.Describe();
}

}  // namespace
}  // namespace quillon::test
