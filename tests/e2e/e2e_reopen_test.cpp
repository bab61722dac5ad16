// The real program over a long run: a TNC that goes away and comes back, a
// device that floods the mirror port, and the end of a run while frames still
// come.
#include <gtest/gtest.h>

#include "e2e_station.h"

namespace quillon::test {
namespace {

// Without time frames the raw log is the frames as received.
const std::string kMirrorIni = kIni + "MIRROR=YES\r\nTIMEFRAMES=NO\r\n";

TEST(EndToEnd, ATncThatGoesAwayMidFrameIsReadAgainWhenItComesBackAndTheEndHandlesNoFrame)
{
    Station s(kMirrorIni);
    ProgramFolder& folder = s.folder;
    folder.Write("tnc_init.txt", "KISS ON\r\n");
    // More than the pseudo-terminal holds: the end of the run waits for it.
    folder.Write("tnc_exit.txt", std::string(200000, 'x') + "\r\n");
    ASSERT_TRUE(s.Start({"QUILLON_STATUS_TO_STDERR=1"})) << s.Output();
    RunningQuillon& q = *s.q;
    const auto initSent = [&] {
        return folder.Com1().ReadUntil([](const std::string& got) { return got.size() >= 8; }, 60s) == "KISS ON\r";
    };
    ASSERT_TRUE(initSent());

    std::vector<std::string> sent;
    constexpr int kRounds = 1;
    for (int round = 0; round <= kRounds; ++round) {
        SCOPED_TRACE(round);
        const std::vector<std::string> frames = ManyFrames(40, unsigned(round));
        sent.insert(sent.end(), frames.begin(), frames.end());
        // A frame is mirrored once it is whole; the one cut off by the loss never.
        const std::string stream = Joined(frames) + (round < kRounds ? std::string("\xC0\x00 cut off", 10) : "");
        ASSERT_TRUE(folder.Com1().WriteAll(stream));
        const std::string mirrored =
            folder.Com2().ReadUntil([&](const std::string& got) { return got.size() >= Joined(frames).size(); }, 60s);
        ASSERT_TRUE(mirrored == Joined(frames)) << mirrored.size() << " of " << stream.size() << " bytes mirrored";
        if (round == kRounds)
            break;

        // Both devices go away; the links lead nowhere for a while.
        folder.Unplug(1);
        folder.Unplug(2);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return Count(q.Output(), "COM 1 lost") + Count(q.Output(), "COM 2 lost") == 2u * (round + 1u);
        }, 60000)) << q.Output();
        const double cpu = q.CpuSeconds();
        EXPECT_FALSE(PollUntil([&] { return !q.Running() || q.CpuSeconds() - cpu > 0.2; }, 3s, 100ms))
            << "the program ended or kept the processor busy";
        folder.Replug(1);
        folder.Replug(2);
        ASSERT_TRUE(initSent()) << "no init script after the return\n" << q.Output();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Count(q.Output(), "COM 2 reopened") == round + 1u; }, 60000));
    }
    const std::string output = q.Output();
    for (const char* line : {"COM 1 lost: Input/output error\n", "COM 2 lost: Input/output error\n",
                             "COM 1 reopened\n", "COM 2 reopened\n"})
        EXPECT_EQ(Count(output, line), std::size_t(kRounds)) << line << output;
    EXPECT_EQ(Count(output, "read tnc_init.txt\ndone\n"), kRounds + 1u) << output;
    ASSERT_TRUE(PollUntil([&] { return folder.ReadLog(".kss").size() >= Joined(sent).size(); }, 60s));
    EXPECT_TRUE(folder.ReadLog(".kss") == Joined(sent)) << "frames lost, or a cut-off frame joined to the next";

    // At the end, while the exit script goes out, a frame comes: it is
    // neither mirrored nor logged.
    const std::string log = folder.ReadLog(".kss");
    q.Signal(SIGTERM);
    ASSERT_TRUE(folder.Com1().WaitReadable(60s)) << "no exit script";
    ASSERT_TRUE(folder.Com1().WriteAll(ManyFrames(1, 9)[0]));
    EXPECT_EQ(q.WaitExit(), 0) << q.Output();
    EXPECT_EQ(folder.Com2().ReadAvailable(), "");
    EXPECT_TRUE(folder.ReadLog(".kss") == log);
}

// Forty megabytes into the mirror port, which the program reads and drops,
// hold no memory and keep COM1 read (the input's own bytes are bounded by
// the receive path, whose test is the fuzz target's).
TEST(EndToEnd, FortyMegabytesOfFloodHoldNoMemory)
{
    Station s(kMirrorIni);
    ASSERT_TRUE(s.Start({"QUILLON_STATUS_TO_STDERR=1"})) << s.Output();
    const std::string chunk(1 << 20, '\xC0');
    ASSERT_TRUE(s.folder.Com2().WriteAll(chunk));  // a first megabyte, so that the program has settled
    const std::vector<std::string> frames = ManyFrames(2, 5);
    ASSERT_TRUE(s.folder.Com1().WriteAll(frames[0]));
    ASSERT_TRUE(PollUntil([&] { return s.folder.ReadLog(".kss") == frames[0]; }, 60s));
    const long before = ProcStatusField(s.q->Pid(), "VmRSS");
    for (int mb = 0; mb < 40; ++mb)
        ASSERT_TRUE(s.folder.Com2().WriteAll(chunk, 60s)) << mb << " MB taken";
    ASSERT_TRUE(s.folder.Com1().WriteAll(frames[1]));
    ASSERT_TRUE(PollUntil([&] { return s.folder.ReadLog(".kss") == Joined(frames); }, 60s));
    const long after = ProcStatusField(s.q->Pid(), "VmRSS");
    EXPECT_LE(after - before, 5 * 1024) << before << " kB before, " << after << " kB after";
    EXPECT_EQ(s.q->Stop(), 0) << s.Output();
    EXPECT_EQ(Count(s.Output(), "Transmit Buffer full"), 0u) << s.Output().substr(0, 4000);
}

}  // namespace
}  // namespace quillon::test
