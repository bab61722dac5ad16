// Faults around the real program: a kill in the middle of a run, the TNC
// going away, logs that cannot be written, and configuration and script
// files full of junk. Each run is the real quillon binary, offscreen, in a
// throw-away program folder whose COM1 and COM2 are pseudo-terminals.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "reliability_traffic.h"
#include "support/poll_until.h"
#include "support/program_folder.h"
#include "support/running_quillon.h"

namespace quillon::test {
namespace {

constexpr const char* kIni =
    "COM_PORT=1\r\n"
    "COM_SETTINGS=9600,N,8,1\r\n"
    "MIRROR_COM_PORT=2\r\n"
    "TIMEFRAMES=YES\r\n"
    "HEXFILE=YES\r\n";

class Reliability : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ProgramFolder::BinaryExists())
            GTEST_SKIP() << "the quillon binary is not built (" << ProgramFolder::BuiltBinary() << ")";
    }
};

// Frames in the raw log (time frames left out) and lines of the dump log.
struct Logged {
    std::string frames;
    std::size_t timeFrames = 0;
    std::size_t dumpLines = 0;
    std::size_t hexLines = 0;
};

Logged ReadLogs(const ProgramFolder& folder)
{
    Logged l;
    l.frames = WithoutTimeFrames(folder.ReadLog(".kss"), l.timeFrames);
    l.dumpLines = LineCount(folder.ReadLog(".dump"));
    l.hexLines = LineCount(folder.ReadLog(".hex"));
    return l;
}

// Writes the stream in pieces of 1 to 700 bytes, draining what the program
// sends back on the way.
bool Play(Pty& pty, std::string_view stream, unsigned seed)
{
    std::mt19937 random(seed);
    while (!stream.empty()) {
        const std::size_t n = std::min<std::size_t>(stream.size(), 1 + random() % 700);
        if (!pty.WriteAll(stream.substr(0, n)))
            return false;
        stream.remove_prefix(n);
        pty.ReadAvailable();
    }
    return true;
}

// The CPU share of the program over a window of `seconds`, in per cent of a
// core (a process that spins in a loop shows close to 100).
double CpuPercentOver(RunningQuillon& quillon, double seconds)
{
    const double before = quillon.CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));  // the measuring window
    const double used = quillon.CpuSeconds() - before;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return 100 * used / elapsed;
}

TEST_F(Reliability, AKilledProgramHasEveryHandledFrameInItsLogs)
{
    const auto frames = ManyFrames(3000, 1);
    const std::string stream = Joined(frames);
    ProgramFolder folder;
    folder.WriteIni(kIni);
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitStarted()) << quillon.Output();
    ASSERT_TRUE(Play(folder.Com1(), stream, 2));

    // Every frame handled: all of them in the raw log and the dump log. The
    // program is then killed without a chance to close or flush anything.
    const bool handled = PollUntil(
        [&] {
            const Logged l = ReadLogs(folder);
            return l.frames.size() >= stream.size() && l.dumpLines >= frames.size();
        },
        120s);
    const ExitStatus killed = quillon.Stop(SIGKILL);
    EXPECT_TRUE(handled) << "the logs did not reach " << frames.size() << " frames; output:\n"
                         << quillon.Output();
    EXPECT_EQ(killed.signal, SIGKILL) << killed.Describe();

    const Logged l = ReadLogs(folder);
    EXPECT_TRUE(l.frames == stream) << "the raw log holds " << l.frames.size() << " bytes of frames, "
                                    << stream.size() << " were sent";
    EXPECT_EQ(l.timeFrames, frames.size());
    EXPECT_EQ(l.dumpLines, frames.size());
    EXPECT_EQ(l.hexLines, frames.size());
}

TEST_F(Reliability, AKillInTheMiddleOfTrafficLeavesWholeFramesOnly)
{
    const auto frames = ManyFrames(20000, 3);
    const std::string stream = Joined(frames);
    ProgramFolder folder;
    folder.WriteIni(kIni);
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitStarted()) << quillon.Output();
    // Kill as soon as some of the traffic has been logged, while the rest is
    // still arriving.
    std::size_t written = 0;
    while (written < stream.size() && folder.LogSize(".kss") < 20000) {
        const std::size_t n = std::min<std::size_t>(stream.size() - written, 512);
        ASSERT_TRUE(folder.Com1().WriteAll(std::string_view(stream).substr(written, n)));
        written += n;
    }
    EXPECT_EQ(quillon.Stop(SIGKILL).signal, SIGKILL);

    const Logged l = ReadLogs(folder);
    ASSERT_GT(l.frames.size(), 0u);
    // The raw log is the first frames sent, each one whole.
    std::size_t whole = 0, bytes = 0;
    while (whole < frames.size() && bytes + frames[whole].size() <= l.frames.size())
        bytes += frames[whole++].size();
    EXPECT_EQ(bytes, l.frames.size()) << "the raw log ends inside a frame";
    EXPECT_TRUE(std::string_view(stream).substr(0, l.frames.size()) == l.frames)
        << "the raw log is not the start of the traffic";
    // A kill between the writes of one frame leaves that frame's dump line out
    // at most; no other.
    EXPECT_GE(l.timeFrames, whole);
    EXPECT_LE(l.timeFrames, whole + 1);
    EXPECT_GE(l.dumpLines + 1, whole);
    EXPECT_LE(l.dumpLines, whole);
}

TEST_F(Reliability, TheTncGoingAwayNeitherCrashesNorSpins)
{
    ProgramFolder folder;
    folder.WriteIni(kIni);
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitStarted()) << quillon.Output();
    const auto frames = ManyFrames(20, 4);
    ASSERT_TRUE(folder.Com1().WriteAll(Joined(frames)));
    ASSERT_TRUE(PollUntil([&] { return ReadLogs(folder).dumpLines >= frames.size(); }, 60s));

    folder.Com1().Close();  // the TNC unplugged
    EXPECT_LT(CpuPercentOver(quillon, 4.0), 1.0) << "the program keeps the processor busy";
    EXPECT_TRUE(quillon.Running()) << quillon.Output();
    const ExitStatus exit = quillon.Stop();
    EXPECT_TRUE(exit.exited && exit.code == 0) << exit.Describe() << "\n" << quillon.Output();
    EXPECT_TRUE(ReadLogs(folder).frames == Joined(frames));
}

// "ddmmyyyy_hhmm" of a UTC time, as the program names its logs.
std::string LogStem(std::chrono::system_clock::time_point t)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char name[32];
    std::strftime(name, sizeof name, "%d%m%Y_%H%M", &utc);
    return name;
}

TEST_F(Reliability, LogsOnAFullDiskDoNotStopTheProgram)
{
    // The logs of this minute and the next lead to /dev/full, where every
    // write fails as on a full disk.
    ProgramFolder folder;
    folder.WriteIni(std::string(kIni) + "MIRROR=YES\r\n");
    const auto now = std::chrono::system_clock::now();
    for (const auto t : {now, now + std::chrono::minutes(1)})
        for (const char* ending : {".kss", ".dump", ".hex"})
            std::filesystem::create_symlink("/dev/full", folder.FilePath(LogStem(t) + ending));
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitCom1Open()) << quillon.Output();

    // The mirror port passes on every block the receive handler took, so the
    // handler has run through all of them.
    const auto frames = ManyFrames(500, 5);
    const std::string stream = Joined(frames);
    ASSERT_TRUE(folder.Com2().WaitPeerOpen(30s));
    std::string mirrored;
    for (std::size_t at = 0; at < stream.size(); at += 4000) {
        ASSERT_TRUE(folder.Com1().WriteAll(std::string_view(stream).substr(at, 4000)));
        mirrored += folder.Com2().ReadAvailable();
    }
    mirrored += folder.Com2().ReadUntil([&](const std::string& got) { return mirrored.size() + got.size() >= stream.size(); },
                                        60s);
    EXPECT_TRUE(mirrored == stream) << "mirrored " << mirrored.size() << " of " << stream.size() << " bytes";
    EXPECT_TRUE(quillon.Running()) << quillon.Output();
    EXPECT_LT(CpuPercentOver(quillon, 2.0), 1.0);
    const ExitStatus exit = quillon.Stop();
    EXPECT_TRUE(exit.exited && exit.code == 0) << exit.Describe() << "\n" << quillon.Output();
}

struct HostileFiles {
    const char* name;
    std::string ini;
    std::string script;
};

std::string Junk(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = char(random());
    return s;
}

// Starts the program on the files, plays frames into it while draining what
// the init script sends, and checks that they are logged and that the run
// ends in order.
void StartAndLog(const HostileFiles& files)
{
    SCOPED_TRACE(files.name);
    ProgramFolder folder;
    folder.WriteIni(files.ini);
    folder.WriteFile("tnc_init.txt", files.script);
    folder.WriteFile("tnc_exit.txt", files.script);
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitStarted(120s)) << quillon.Output();

    const auto frames = ManyFrames(200, 8);
    const std::string stream = Joined(frames);
    ASSERT_TRUE(Play(folder.Com1(), stream, 9));
    const bool logged = PollUntil(
        [&] {
            folder.Com1().ReadAvailable();
            return ReadLogs(folder).frames.size() >= stream.size();
        },
        120s);
    EXPECT_TRUE(logged) << quillon.Output();
    EXPECT_TRUE(ReadLogs(folder).frames == stream);
    const ExitStatus exit = quillon.Stop(SIGTERM, 60s);
    EXPECT_TRUE(exit.exited && exit.code == 0) << exit.Describe() << "\n" << quillon.Output();
}

TEST_F(Reliability, JunkInTheConfigurationAndScriptsDoesNotStopStartUp)
{
    using namespace std::string_literals;
    const std::string nul(64 << 10, '\0');
    StartAndLog({"binary junk", Junk(1 << 20, 6), Junk(1 << 20, 7)});
    StartAndLog({"NUL bytes", "\0\0\0\r\nCOM_PORT=1\0\0\r\nHEXFILE=Y\0ES\r\n"s + nul,
                 "\0\0\r\n"s + nul + "\r\n\0"s});
    StartAndLog({"line ends only", std::string(1 << 20, '\r') + std::string(1 << 20, '\n'),
                 std::string(1 << 20, '\n')});
}

// Long (label long): the init script goes to the port a byte at a time, so
// a 10 MB line holds start-up for some seconds.
TEST_F(Reliability, TenMegabyteLinesDoNotStopStartUp)
{
    const std::string line(10 << 20, 'x');
    StartAndLog({"10 MB lines", "COM_PORT=1\r\nCOM_SETTINGS=" + line + "\r\nHEXFILE=YES\r\n" + line + "=" + line,
                 "^" + line + "$\r\n#" + line});
}

}  // namespace
}  // namespace quillon::test
