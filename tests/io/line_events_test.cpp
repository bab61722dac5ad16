// The line-event source on a pseudo-terminal, which offers no reading, and with a receiver that stops it.
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "line_events.h"
#include "pseudo_terminal.h"
#include "tnc/serial_events.h"

namespace quillon::test {
namespace {

TEST(LineEventSource, APseudoTerminalIsNotPolledAndAReceiverCanStopTheSourceMidPoll)
{
    Pty pty;
    const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    EXPECT_FALSE(PortLineReaders(slave).lines() || PortLineReaders(slave).counters());
    LineEventSource source;
    source.Start(slave);
    EXPECT_FALSE(source.Watching());
    ::close(slave);

    LineCounters counters;
    std::vector<int> codes;
    QObject::connect(&source, &LineEventSource::Event, [&](int code) {
        codes.push_back(code);
        source.Stop();  // as a port closed on an event
    });
    source.SetInterval(std::chrono::milliseconds(5));
    source.Start({nullptr, [&] { return std::optional(counters); }});
    counters.brk = counters.frame = 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !source.Watching(); }, 20000));
    EXPECT_EQ(codes, std::vector<int>{line_event::Break}) << "the framing error of that poll is dropped";
}

}  // namespace
}  // namespace quillon::test
