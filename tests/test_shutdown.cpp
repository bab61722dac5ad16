// The end of a run of the real quillon binary, watched from outside: what
// reaches the TNC, in which order the logs, the cleanup and the ports are
// done with, and what is left in the folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/files.h"
#include "support/kiss_frames.h"
#include "support/poll_until.h"
#include "support/program_folder.h"
#include "support/running_quillon.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIni =
    "COM_PORT=1\r\nCOM_SETTINGS=9600,N,8,1\r\nCOM_HANDSHAKING=NO\r\n"
    "MIRROR_COM_PORT=2\r\nMIRROR_COM_SETTINGS=9600,N,8,1\r\nMIRROR=NO\r\nHEXFILE=YES\r\n";

// An RR supervisory frame: it has no payload, so the hex log gets no line,
// while the raw log and the dump log get one each.
const std::string kSupervisoryFrame =
    KissFrame(Ax25Address("N0CALL", false) + Ax25Address("DL1ABC-1", true) + "\x21");

class RunEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ProgramFolder::BinaryExists())
            GTEST_SKIP() << "the quillon binary is not built (" << ProgramFolder::BuiltBinary() << ")";
        folder.WriteIni(kIni);
    }

    // Starts the program; false (with its output) when it does not get going.
    ::testing::AssertionResult Start(std::string workingDir = {})
    {
        quillon = std::make_unique<RunningQuillon>(folder, std::move(workingDir));
        if (quillon->WaitStarted() && folder.Com2().WaitPeerOpen(std::chrono::seconds(30)))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "quillon did not start; output:\n" << quillon->Output();
    }

    // Sends one frame without payload and waits until it is in the logs.
    ::testing::AssertionResult ReceiveSupervisoryFrame()
    {
        if (folder.Com1().WriteAll(kSupervisoryFrame) &&
            PollUntil([&] { return folder.LogSize(".kss") >= kSupervisoryFrame.size() &&
                                   folder.LogSize(".dump") > 0; },
                      std::chrono::seconds(60)))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the frame did not reach the logs";
    }

    ::testing::AssertionResult EndedWell()
    {
        const ExitStatus status = quillon->WaitExit(std::chrono::seconds(60));
        if (status.exited && status.code == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "quillon " << status.Describe() << "; output:\n"
                                             << quillon->Output();
    }

    // The log files in the program folder, by ending.
    std::vector<std::string> LogEndings() const
    {
        std::vector<std::string> endings;
        for (const char* ending : {".dump", ".hex", ".kss"})
            if (!folder.FilesWithSuffix(ending).empty())
                endings.push_back(ending);
        return endings;
    }

    ProgramFolder folder;
    std::unique_ptr<RunningQuillon> quillon;
};

// The paths of the logs the process holds open; none once it has ended.
std::vector<std::string> OpenLogs(pid_t pid)
{
    std::vector<std::string> logs;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        for (const char* ending : {".kss", ".dump", ".hex"})
            if (!ec && target.ends_with(ending))
                logs.push_back(target);
    }
    return logs;
}

// The first byte the program sends, once it comes; empty when none does.
std::string FirstByte(Pty& pty)
{
    char byte = 0;
    const bool came = PollUntil(
        [&] {
            pollfd p{pty.MasterFd(), POLLIN, 0};
            return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) && ::read(pty.MasterFd(), &byte, 1) == 1;
        },
        std::chrono::seconds(60), std::chrono::milliseconds(1));
    return came ? std::string(1, byte) : std::string();
}

// A script of many lines: more than the pseudo-terminal holds, so the program
// is still sending it, with the input port open, when its first bytes arrive.
void LongExitScript(const ProgramFolder& folder, std::string& expected)
{
    std::string script;
    for (int i = 0; i < 2500; ++i) {
        const std::string line = "LINE " + std::to_string(10000 + i) + " ABCDEFGHIJKLMNOPQRSTUVWXY";
        script += line + "\r\n";
        expected += line + "\r";
    }
    folder.WriteFile("tnc_exit.txt", script);
}

TEST_F(RunEnd, LogsAreClosedAndCleanedBeforeTheExitScriptAndThePortsCloseLast)
{
    std::string expected;
    LongExitScript(folder, expected);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(ReceiveSupervisoryFrame());
    ASSERT_TRUE(quillon->Signal(SIGTERM));

    // One byte only: with the rest unread the program cannot finish sending.
    std::string got = FirstByte(folder.Com1());
    ASSERT_FALSE(got.empty()) << "no exit script; output:\n" << quillon->Output();
    // Asked in this order, a mirror port closed before the input port would
    // show as COM1 held with COM2 let go.
    const bool com2Held = folder.Com2().PeerOpen();
    const bool com1Held = folder.Com1().PeerOpen();
    EXPECT_TRUE(com1Held) << "the input port closed while the script was still being sent";
    EXPECT_TRUE(com2Held) << "the mirror port closed before the input port";
    EXPECT_EQ(OpenLogs(quillon->Pid()), std::vector<std::string>{});
    EXPECT_EQ(LogEndings(), (std::vector<std::string>{".dump", ".kss"}))
        << "the empty hex log should be gone before the script is sent";

    got += folder.Com1().ReadUntil(
        [&](const std::string& s) { return got.size() + s.size() >= expected.size(); },
        std::chrono::seconds(60));
    EXPECT_TRUE(got == expected) << "got " << got.size() << " of " << expected.size() << " bytes";
    EXPECT_TRUE(PollUntil([&] { return !folder.Com1().PeerOpen() && !folder.Com2().PeerOpen(); },
                          std::chrono::seconds(60)));
    EXPECT_TRUE(EndedWell());
}

TEST_F(RunEnd, EachStopSignalEndsTheRunAsTheCloseBoxDoes)
{
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        for (const char* ending : {".kss", ".dump", ".hex"})  // the previous row's logs
            for (const std::string& name : folder.FilesWithSuffix(ending))
                fs::remove(folder.FilePath(name));
        folder.WriteFile("tnc_exit.txt", "^@K\r\n");
        ASSERT_TRUE(Start());
        ASSERT_TRUE(ReceiveSupervisoryFrame());
        ASSERT_TRUE(quillon->Signal(sig));
        const std::string got = folder.Com1().ReadUntil(
            [](const std::string& s) { return s.size() >= 4; }, std::chrono::seconds(60));
        EXPECT_EQ(Hex(got), "1B 40 4B 0D");
        EXPECT_TRUE(EndedWell());
        EXPECT_EQ(LogEndings(), (std::vector<std::string>{".dump", ".kss"}));
    }
}

TEST_F(RunEnd, ARunThatReceivedNothingLeavesNoLogsAndNothingElseIsTouched)
{
    struct Row {
        const char* situation;
        bool elsewhere;  // started from another directory than its own
    };
    for (const Row row : {Row{"started in its own folder", false}, Row{"started elsewhere", true}}) {
        SCOPED_TRACE(row.situation);
        TempDir elsewhere("quillon-cwd");
        const std::string workingDir = row.elsewhere ? elsewhere.Path() : folder.Path();
        // Empty files of others where the program lives and where it runs.
        const std::vector<std::string> others = {
            folder.FilePath("LCK..ttyS0"), folder.FilePath(".marker"), folder.FilePath("tnc_exit.txt"),
            workingDir + "/LCK..ttyUSB0", workingDir + "/.hidden-marker", workingDir + "/empty.flag"};
        for (const std::string& path : others)
            WriteBinaryFile(path, "");
        ASSERT_TRUE(Start(workingDir));
        ASSERT_TRUE(quillon->Signal(SIGTERM));
        EXPECT_TRUE(EndedWell());
        EXPECT_EQ(LogEndings(), std::vector<std::string>{});
        for (const std::string& path : others)
            EXPECT_TRUE(fs::exists(path)) << path;
    }
}

}  // namespace
}  // namespace quillon::test
