// quillon-replay, the simulated TNC, on its own: the test opens the linked
// slave side as the program would and checks what arrives and what is
// recorded.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support/child_process.h"
#include "support/files.h"
#include "support/kiss_frames.h"
#include "support/poll_until.h"
#include "support/pty.h"

namespace quillon::test {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kReplay = std::string(QUILLON_PROGRAM_DIR) + "/quillon-replay";

// The slave side as the program opens it: through the link.
class Port {
public:
    explicit Port(const std::string& link)
        : fd_(::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~Port() { Close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // Reads until `count` bytes have come or the limit ran out.
    std::string Read(std::size_t count, std::chrono::milliseconds limit = 30s)
    {
        std::string got;
        const auto end = Clock::now() + limit;
        char buf[4096];
        while (got.size() < count && Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 100);
            const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0)
                got.append(buf, std::size_t(n));
        }
        return got;
    }

    bool HungUp() const
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
    }

    bool Write(std::string_view bytes)
    {
        return ::write(fd_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }

private:
    int fd_ = -1;
};

bool IsLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string Frames(int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += KissFrame(Ax25UiFrame("APRS", "N0CALL", {"WIDE1-1"}, "frame " + std::to_string(i)));
    return out;
}

class Replay : public ::testing::Test {
protected:
    // Starts quillon-replay with the options and the files, linked at COM1.
    ChildProcess& Start(std::vector<std::string> options, const std::vector<std::string>& files)
    {
        std::vector<std::string> args{kReplay, "--link", Link()};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), files.begin(), files.end());
        process_.emplace(ChildOptions{args, {}, {}, Output()});
        EXPECT_TRUE(PollUntil([&] { return IsLink(Link()) || !process_->Running(); }, 30s))
            << ReadBinaryFile(Output());
        return *process_;
    }

    std::string Input(const std::string& name, const std::string& bytes)
    {
        WriteBinaryFile(dir_ / name, bytes);
        return dir_ / name;
    }

    std::string Link() const { return dir_ / "COM1"; }
    std::string Output() const { return dir_ / "replay.txt"; }

    TempDir dir_{"quillon-replay-test"};
    std::optional<ChildProcess> process_;
};

TEST_F(Replay, HelpShowsUsage)
{
    ChildProcess help({{kReplay, "--help"}, {}, {}, Output()});
    const ExitStatus s = help.WaitExit();
    EXPECT_TRUE(s.exited && s.code == 0) << s.Describe();
    EXPECT_NE(ReadBinaryFile(Output()).find("Usage: quillon-replay --link PATH"), std::string::npos);
}

TEST_F(Replay, RefusesToReplaceAFileThatIsNoLink)
{
    WriteBinaryFile(Link(), "keep me");
    ChildProcess replay({{kReplay, "--link", Link(), Input("a.kss", Frames(1))}, {}, {}, Output()});
    const ExitStatus s = replay.WaitExit();
    EXPECT_TRUE(s.exited && s.code == 2) << s.Describe();
    EXPECT_EQ(ReadBinaryFile(Link()), "keep me");
}

TEST_F(Replay, PlaysFilesInOrderAndRecordsWhatComesBack)
{
    const std::string a = Frames(40), b = Frames(7);
    ChildProcess& replay = Start({"--fast", "--chunks", "1-7", "--seed", "3", "--record", dir_ / "rec"},
                                 {Input("a.kss", a), Input("b.kss", b)});
    Port port(Link());
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(Hex(port.Read(a.size() + b.size())), Hex(a + b));

    ASSERT_TRUE(port.Write("KISS ON\r"));
    EXPECT_TRUE(PollUntil([&] { return ReadBinaryFile(dir_ / "rec") == "KISS ON\r"; }, 30s))
        << "recorded: " << Hex(ReadBinaryFile(dir_ / "rec"));

    const ExitStatus s = replay.Stop();
    EXPECT_TRUE(s.exited && s.code == 0) << s.Describe();
    EXPECT_FALSE(IsLink(Link())) << "the link should be gone";
}

TEST_F(Replay, PacesLikeTheSerialLine)
{
    const std::string data = Frames(60).substr(0, 1200);  // 1.25 s at 9600 baud
    ChildProcess& replay = Start({"--baud", "9600"}, {Input("a.kss", data)});
    Port port(Link());
    const auto opened = Clock::now();
    const std::string got = port.Read(data.size());
    const auto took = Clock::now() - opened;
    EXPECT_EQ(Hex(got), Hex(data));
    EXPECT_GE(took, std::chrono::milliseconds(1200));
    EXPECT_TRUE(replay.Stop().exited);
}

TEST_F(Replay, LoopsOverTheFiles)
{
    const std::string a = Frames(3);
    Start({"--fast", "--loop"}, {Input("a.kss", a)});
    Port port(Link());
    EXPECT_EQ(Hex(port.Read(3 * a.size())), Hex(a + a + a));
}

TEST_F(Replay, ExitsWhenDoneOnlyAfterEverythingWasRead)
{
    const std::string data = Frames(500);  // more than the slave's queue takes
    ChildProcess& replay = Start({"--fast", "--exit-when-done"}, {Input("a.kss", data)});
    Port port(Link());
    std::string got = port.Read(100);
    EXPECT_TRUE(replay.Running()) << "left before the reader took the bytes";
    got += port.Read(data.size() - got.size());
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
    const ExitStatus s = replay.WaitExit();
    EXPECT_TRUE(s.exited && s.code == 0) << s.Describe();
    EXPECT_FALSE(IsLink(Link()));
}

// Whether the process burns half a second of CPU within 1.5 s.
bool Spins(ChildProcess& process)
{
    const double before = process.CpuSeconds();
    return before < 0 || PollUntil([&] { return process.CpuSeconds() - before > 0.5; }, 1500ms);
}

TEST_F(Replay, WaitsIdlyForASlowReaderAndAClosedPort)
{
    const std::string data = Frames(4000);  // far more than the queue holds
    ChildProcess& replay = Start({"--fast"}, {Input("a.kss", data)});
    {
        Port port(Link());
        EXPECT_EQ(port.Read(10).size(), 10u);
        EXPECT_FALSE(Spins(replay)) << "quillon-replay uses the CPU while the queue is full";
        EXPECT_EQ(port.Read(data.size() - 10).size(), data.size() - 10);
    }
    // Closed again: the master reports a hang-up all the time now.
    EXPECT_FALSE(Spins(replay)) << "quillon-replay uses the CPU while the port is closed";
    const ExitStatus s = replay.Stop(SIGINT);
    EXPECT_TRUE(s.exited && s.code == 0) << s.Describe();
}

TEST(TestPty, SeesThePeerAndCarriesBytesBothWays)
{
    Pty pty;
    EXPECT_FALSE(pty.PeerOpen());
    {
        Port port(pty.SlavePath());
        ASSERT_TRUE(port.IsOpen());
        EXPECT_TRUE(pty.PeerOpen());
        const std::string bytes = Frames(30) + Bytes("0D 0A 11 13 03 00 FF");  // raw: nothing rewritten
        ASSERT_TRUE(pty.WriteAll(bytes));
        EXPECT_EQ(Hex(port.Read(bytes.size())), Hex(bytes));
        ASSERT_TRUE(port.Write("TXDELAY 30\r"));
        const std::string got = pty.ReadUntil([](const std::string& s) { return s.size() >= 11; }, 30s);
        EXPECT_EQ(got, "TXDELAY 30\r");
    }
    EXPECT_FALSE(pty.PeerOpen());
}

TEST(TestPty, ClosingTheMasterHangsUpTheSlave)
{
    Pty pty;
    Port port(pty.SlavePath());
    ASSERT_TRUE(port.IsOpen());
    pty.Close();
    EXPECT_FALSE(pty.IsOpen());
    EXPECT_TRUE(port.HungUp());
}

}  // namespace
}  // namespace quillon::test
