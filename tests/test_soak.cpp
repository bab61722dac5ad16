// Soak: a million different frames through a pseudo-terminal into the real
// program, with the console and all three logs. Every frame must be counted
// once: the raw log holds exactly the frames sent, byte for byte, each behind
// its time frame, and the dump and hex logs one line per frame. Long: run by
// scripts/test --long.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "reliability_traffic.h"
#include "support/poll_until.h"
#include "support/program_folder.h"
#include "support/running_quillon.h"

namespace quillon::test {
namespace {

constexpr std::size_t kFrames = 1000000;

long ResidentKilobytes(pid_t pid)
{
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    long kb = -1;
    char line[256];
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1)
            break;
    if (f)
        std::fclose(f);
    return kb;
}

TEST(Soak, AMillionFramesAllLoggedOnce)
{
    if (!ProgramFolder::BinaryExists())
        GTEST_SKIP() << "the quillon binary is not built (" << ProgramFolder::BuiltBinary() << ")";
    const auto frames = ManyFrames(kFrames, 20130728);
    const std::string stream = Joined(frames);

    ProgramFolder folder;
    folder.WriteIni("COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nTIMEFRAMES=YES\r\nHEXFILE=YES\r\n");
    RunningQuillon quillon(folder);
    ASSERT_TRUE(quillon.WaitStarted()) << quillon.Output();

    // Pieces of random sizes, as fast as the program reads them.
    std::mt19937 random(7);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + random() % 8192);
        ASSERT_TRUE(folder.Com1().WriteAll(std::string_view(stream).substr(at, n), 120s))
            << "the program stopped reading at byte " << at << "; output:\n" << quillon.Output();
        at += n;
    }
    const std::uintmax_t rawSize = stream.size() + 30 * frames.size();
    const bool complete = PollUntil([&] { return folder.LogSize(".kss") >= rawSize; }, 600s, 100ms);
    ASSERT_TRUE(PollUntil([&] { return LineCount(folder.ReadLog(".dump")) >= frames.size(); }, 120s, 500ms) ||
                !complete);
    std::printf("soak: %zu frames, %zu bytes; the program used %.1f s of CPU and has %ld kB resident\n",
                frames.size(), stream.size(), quillon.CpuSeconds(), ResidentKilobytes(quillon.Pid()));
    EXPECT_TRUE(quillon.Running()) << quillon.Output();
    const ExitStatus exit = quillon.Stop(SIGTERM, 120s);
    EXPECT_TRUE(exit.exited && exit.code == 0) << exit.Describe();
    EXPECT_TRUE(complete) << "the raw log has " << folder.LogSize(".kss") << " of " << rawSize << " bytes";

    std::size_t timeFrames = 0;
    const std::string logged = WithoutTimeFrames(folder.ReadLog(".kss"), timeFrames);
    EXPECT_EQ(timeFrames, frames.size());
    EXPECT_EQ(logged.size(), stream.size());
    EXPECT_TRUE(logged == stream) << "the raw log's frames differ from the frames sent";
    EXPECT_EQ(LineCount(folder.ReadLog(".dump")), frames.size());
    EXPECT_EQ(LineCount(folder.ReadLog(".hex")), frames.size());
}

}  // namespace
}  // namespace quillon::test
