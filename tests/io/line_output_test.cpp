// Lines to a pipe whose reader stalls and then goes away: the writer never waits, drops whole lines
// beyond its queue and says how many, and ends its output, nothing else, when the reader is gone.
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <regex>

#include "line_output.h"

namespace quillon::test {
namespace {

TEST(LineOutput, AStalledReaderCostsAQueueAndHearsWhatItMissedAReaderGoneEndsTheOutputOnly)
{
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    ::fcntl(pipe[1], F_SETPIPE_SZ, 4096);
    std::string got;
    const auto read = [&] {
        char buf[4096];
        for (ssize_t n; (n = ::read(pipe[0], buf, sizeof buf)) > 0;)
            got.append(buf, std::size_t(n));
        return got;
    };
    ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
    {
        // 300 lines of 20 bytes: about 200 in the pipe, 50 in the queue, the rest dropped.
        LineOutput out(pipe[1], 1000);
        std::string all;
        for (int i = 0; i < 300; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "line %04d ..........", i);
            out.Say(line);
            all += line + std::string("\n");
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return read().find("dropped\n") != got.npos; }, 20000)) << got;
        out.Say("after the gap");
        ASSERT_TRUE(QTest::qWaitFor([&] { return read().ends_with("after the gap\n"); }, 20000)) << got;
        // Every line whole and in order up to the gap, then the count of the rest.
        std::smatch m;
        ASSERT_TRUE(std::regex_search(got, m, std::regex("\noutput stalled: ([0-9]+) lines dropped\nafter the gap\n$")));
        const int kept = 300 - std::stoi(m[1]);
        EXPECT_GT(kept, 200);
        EXPECT_LT(kept, 300);
        EXPECT_EQ(got.substr(0, std::size_t(m.position(0)) + 1), all.substr(0, std::size_t(kept) * 21));

        ::close(pipe[0]);
        out.Say("nobody reads this");
        EXPECT_TRUE(out.Ended());
        EXPECT_EQ(out.EndError(), EPIPE);
        out.Say("nor this");
    }
    EXPECT_EQ(::fcntl(pipe[1], F_GETFL) & O_NONBLOCK, 0) << "the descriptor's own flags given back";
    ::close(pipe[1]);
}

}  // namespace
}  // namespace quillon::test
