// The portable package: `cpack -G TGZ` packs the program folder, which must
// unpack anywhere and run from there. The unpacked quillon starts offscreen
// with its starter settings, takes a frame on COM1 (a pseudo-terminal linked
// into the unpacked folder) and writes its logs beside its executable, not
// into the working directory it was started from.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/files.h"
#include "support/kiss_frames.h"
#include "support/poll_until.h"
#include "support/pty.h"
#include "support/run_tool.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kPackageName = "quillon-" QUILLON_VERSION;

// Builds the tar.gz from this build tree into `outputDir`.
void MakePackage(const std::string& outputDir, std::string& archive)
{
    fs::create_directories(outputDir);
    const ToolRun run = RunTool({QUILLON_CPACK_COMMAND, "-G", "TGZ", "--config",
                                 std::string(QUILLON_BINARY_DIR) + "/CPackConfig.cmake", "-B", outputDir},
                                {}, outputDir);
    ASSERT_TRUE(run.Succeeded()) << "cpack " << run.status.Describe() << "\n" << run.output;
    archive = outputDir + "/" + kPackageName + ".tar.gz";
    ASSERT_TRUE(fs::is_regular_file(archive)) << archive << " was not made\n" << run.output;
}

void Unpack(const std::string& archive, const std::string& into)
{
    fs::create_directories(into);
    const ToolRun run = RunTool({QUILLON_CMAKE_COMMAND, "-E", "tar", "xzf", archive}, {}, into);
    ASSERT_TRUE(run.Succeeded()) << "unpacking " << run.status.Describe() << "\n" << run.output;
}

// The logs in `dir` with that suffix, named after the start of their run
// ("ddmmyyyy_hhmm.kss"; sample.kss is no log), sorted.
std::vector<std::string> LogsIn(const std::string& dir, const std::string& suffix)
{
    static const std::regex logName(R"(\d{8}_\d{4}\.[a-z]+)");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.ends_with(suffix) && std::regex_match(name, logName))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string OnlyLog(const std::string& dir, const std::string& suffix)
{
    const auto names = LogsIn(dir, suffix);
    return names.size() == 1 ? ReadBinaryFile(dir + "/" + names[0]) : std::string();
}

TEST(Package, HoldsTheProgramFolder)
{
    TempDir temp("quillon-package");
    std::string archive;
    ASSERT_NO_FATAL_FAILURE(MakePackage(temp / "out", archive));
    ASSERT_NO_FATAL_FAILURE(Unpack(archive, temp / "unpacked"));
    const std::string folder = temp / "unpacked" + "/" + kPackageName;
    for (const char* name :
         {"quillon", "quillon-dump", "quillon-replay", "quillon-pcap", "quillon.ini", "tnc_init.txt",
          "tnc_exit.txt", "sample.kss", "share/applications/quillon.desktop",
          "share/man/man1/quillon-dump.1", "share/man/man1/quillon-replay.1", "share/man/man1/quillon-pcap.1",
          "share/icons/hicolor/16x16/apps/quillon.png", "share/icons/hicolor/256x256/apps/quillon.png",
          "share/icons/hicolor/scalable/apps/quillon.svg"})
        EXPECT_TRUE(fs::is_regular_file(folder + "/" + name)) << name << " is missing from " << archive;
}

// Runs the unpacked program from `workingDir`, plays `frame` into COM1 and
// stops it with SIGTERM once the raw log holds the frame.
void RunUnpacked(const std::string& folder, const std::string& workingDir, const std::string& frame,
                 std::string& com1Received)
{
    Pty com1, com2;
    fs::create_symlink(com1.SlavePath(), folder + "/COM1");
    fs::create_symlink(com2.SlavePath(), folder + "/COM2");
    ChildProcess quillon({{folder + "/quillon"}, {"QT_QPA_PLATFORM=offscreen"}, workingDir,
                          workingDir + "/output.txt"});
    const auto output = [&] { return ReadBinaryFile(workingDir + "/output.txt"); };
    ASSERT_TRUE(com1.WaitPeerOpen(60s)) << "COM1 was not opened\n" << output();
    ASSERT_TRUE(PollUntil([&] { return !LogsIn(folder, ".kss").empty(); }, 60s))
        << "no raw log in " << folder << "\n" << output();
    ASSERT_TRUE(com1.WriteAll(frame));
    EXPECT_TRUE(PollUntil([&] { return OnlyLog(folder, ".kss").find(frame) != std::string::npos; }, 60s))
        << "the frame did not reach the raw log\n" << output();
    const ExitStatus exit = quillon.Stop(SIGTERM);
    EXPECT_TRUE(exit.exited && exit.code == 0) << exit.Describe() << "\n" << output();
    com1Received = com1.ReadAvailable();
}

TEST(Package, UnpackedProgramWritesItsLogsBesideItself)
{
    TempDir temp("quillon-package");
    std::string archive;
    ASSERT_NO_FATAL_FAILURE(MakePackage(temp / "out", archive));
    ASSERT_NO_FATAL_FAILURE(Unpack(archive, temp / "unpacked"));
    const std::string folder = temp / "unpacked" + "/" + kPackageName;
    const std::string elsewhere = temp / "elsewhere";
    fs::create_directories(elsewhere);

    const std::string frame = KissFrame(Ax25UiFrame("APRS", "N0CALL-9", {"WIDE1-1"}, "from the package"));
    std::string sentToTnc;
    ASSERT_NO_FATAL_FAILURE(RunUnpacked(folder, elsewhere, frame, sentToTnc));

    EXPECT_NE(OnlyLog(folder, ".kss").find(frame), std::string::npos);
    EXPECT_NE(OnlyLog(folder, ".dump").find("from the package"), std::string::npos);
    EXPECT_EQ(LogsIn(folder, ".hex").size(), 1u) << "the starter settings have HEXFILE=YES";
    for (const char* suffix : {".kss", ".dump", ".hex"})
        EXPECT_TRUE(LogsIn(elsewhere, suffix).empty()) << suffix << " written into the working directory";
    EXPECT_EQ(Hex(sentToTnc), "") << "the starter TNC scripts must send nothing";
}

}  // namespace
}  // namespace quillon::test
