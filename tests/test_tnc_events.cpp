#include <gtest/gtest.h>

#include <QTest>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/line_events.h"
#include "test_tnc_pty.h"
#include "tnc/serial_events.h"

namespace quillon {
namespace {

TEST(SerialEventLine, EveryCodeOfTheTable)
{
    const std::pair<int, const char*> table[] = {
        {1, "There are characters in the transmit buffer."},
        {3, "Change in the CTS line."},
        {4, "Change in the DSR line."},
        {5, "Change in the CD line."},
        {6, "Ring Indicator"},
        {1001, "A Break was received."},
        {1002, "CTS Timeout."},
        {1003, "DSR Timeout."},
        {1004, "Framing Error"},
        {1006, "Data Lost"},
        {1007, "CD (RLSD) Timeout."},
        {1008, "Receive Buffer Overflow"},
        {1009, "Parity Error"},
        {1010, "Transmit Buffer full"},
        {1011, "Unexpected error retrieving DCB"},
    };
    for (const auto& [code, line] : table)
        EXPECT_EQ(SerialEventLine(code), std::optional<std::string_view>(line)) << code;
}

TEST(SerialEventLine, ReceiveAndUnknownCodesGiveNothing)
{
    for (int code : {2, 0, 7, 1000, 1005, 1012, -1})
        EXPECT_EQ(SerialEventLine(code), std::nullopt) << code;
}

// A port whose readings the test sets between polls. An empty kind in a
// step is a reading the driver refuses at that step.
struct FakeLine {
    std::vector<LineSnapshot> steps;
    std::size_t step = 0;
    std::size_t lastRead = 0;
    int lineReads = 0;
    int counterReads = 0;

    LineReaders Readers()
    {
        return {[this] {
                    ++lineReads;
                    lastRead = step;
                    return steps[step].lines;
                },
                [this] {
                    ++counterReads;
                    lastRead = step;
                    return steps[step].counters;
                }};
    }
};

// The status box as the port's event handler fills it.
struct StatusBox {
    std::string text;
    void Connect(LineEventSource& source)
    {
        QObject::connect(&source, &LineEventSource::Event, [this](int code) {
            if (const auto line = SerialEventLine(code))
                text += std::string(*line) + "\r\n";
        });
    }
};

// Starts the source on the first step and lets it poll each further step.
std::string Replay(FakeLine& line)
{
    LineEventSource source;
    source.SetInterval(std::chrono::milliseconds(5));
    StatusBox box;
    box.Connect(source);
    source.Start(line.Readers());
    for (std::size_t i = 1; i < line.steps.size(); ++i) {
        line.step = i;
        EXPECT_TRUE(QTest::qWaitFor([&] { return line.lastRead == i; }, 10000)) << "step " << i;
    }
    return box.text;
}

ModemLines Lines(bool cts, bool dsr, bool cd, bool ri)
{
    return {cts, dsr, cd, ri};
}

LineCounters Counts(std::initializer_list<std::pair<std::uint32_t LineCounters::*, std::uint32_t>> set)
{
    LineCounters c;
    for (const auto& [field, value] : set)
        c.*field = value;
    return c;
}

using C = LineCounters;
const ModemLines kIdle = Lines(false, false, false, false);
const ModemLines kTncOn = Lines(true, true, false, false);

struct SequenceCase {
    const char* name;
    std::vector<LineSnapshot> steps;
    std::string box;
};

TEST(LineEventSource, TellsWhatTheKernelSaw)
{
    const std::string cts = "Change in the CTS line.\r\n";
    const std::string dsr = "Change in the DSR line.\r\n";
    const std::string cd = "Change in the CD line.\r\n";
    const std::string ring = "Ring Indicator\r\n";
    const std::string frame = "Framing Error\r\n";
    const SequenceCase cases[] = {
        {"quiet line", {{kTncOn, C{}}, {kTncOn, C{}}, {kTncOn, C{}}}, ""},
        {"state before the start raises nothing",
         {{kTncOn, Counts({{&C::frame, 7}, {&C::cts, 3}})}, {kTncOn, Counts({{&C::frame, 7}, {&C::cts, 3}})}},
         ""},
        {"TNC switched on: CTS and DSR rise",
         {{kIdle, C{}}, {kTncOn, Counts({{&C::cts, 1}, {&C::dsr, 1}})}},
         cts + dsr},
        {"TNC switched off and on between two polls",
         {{kTncOn, C{}}, {kTncOn, Counts({{&C::cts, 2}, {&C::dsr, 2}})}},
         cts + cts + dsr + dsr},
        {"carrier pulse shorter than a poll", {{kIdle, C{}}, {kIdle, Counts({{&C::cd, 2}})}}, cd + cd},
        {"two framing errors in one poll", {{kTncOn, C{}}, {kTncOn, Counts({{&C::frame, 2}})}}, frame + frame},
        {"two framing errors in two polls",
         {{kTncOn, C{}}, {kTncOn, Counts({{&C::frame, 1}})}, {kTncOn, Counts({{&C::frame, 2}})}},
         frame + frame},
        {"wrong baud rate: hundreds of framing errors",
         {{kTncOn, C{}}, {kTncOn, Counts({{&C::frame, 480}})}, {kTncOn, Counts({{&C::frame, 960}})}},
         frame + frame + frame + frame + frame + frame},
        {"break", {{kTncOn, C{}}, {kTncOn, Counts({{&C::brk, 1}})}}, "A Break was received.\r\n"},
        {"overrun, buffer overflow and parity error at once",
         {{kTncOn, C{}}, {kTncOn, Counts({{&C::parity, 1}, {&C::bufOverrun, 1}, {&C::overrun, 1}})}},
         "Data Lost\r\nReceive Buffer Overflow\r\nParity Error\r\n"},
        {"two rings counted",
         {{kIdle, C{}}, {kIdle, Counts({{&C::ring, 1}})}, {kIdle, Counts({{&C::ring, 2}})}},
         ring + ring},
        {"a ring seen in the line state and then counted is one ring",
         {{kIdle, C{}}, {Lines(false, false, false, true), C{}}, {kIdle, Counts({{&C::ring, 1}})}},
         ring},
        {"driver counts DSR but not CTS",
         {{kIdle, C{}}, {kTncOn, Counts({{&C::dsr, 1}})}},
         cts + dsr},
        {"driver without counters: line changes",
         {{kIdle, {}}, {kTncOn, {}}, {Lines(true, true, true, false), {}}},
         cts + dsr + cd},
        {"driver without counters: two rings",
         {{kIdle, {}},
          {Lines(false, false, false, true), {}},
          {kIdle, {}},
          {Lines(false, false, false, true), {}}},
         ring + ring},
        {"driver without line state: errors only",
         {{{}, C{}}, {{}, Counts({{&C::frame, 1}, {&C::brk, 1}})}},
         "A Break was received.\r\n" + frame},
        {"counters restarted by the driver", {{kTncOn, Counts({{&C::frame, 9}})}, {kTncOn, C{}}}, ""},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLine line{c.steps};
        EXPECT_EQ(Replay(line), c.box);
    }
}

TEST(LineEventSource, ReadingsTheDriverRefusesAreNotTriedAgain)
{
    {
        SCOPED_TRACE("both refused, as on a pseudo-terminal");
        FakeLine line{{{{}, {}}}};
        LineEventSource source;
        source.Start(line.Readers());
        EXPECT_FALSE(source.Watching());
        EXPECT_EQ(line.lineReads, 1);
        EXPECT_EQ(line.counterReads, 1);
    }
    {
        SCOPED_TRACE("counters refused after a while, lines still watched");
        FakeLine line{{{kIdle, C{}}, {kIdle, {}}, {kTncOn, Counts({{&C::cts, 9}})}}};
        EXPECT_EQ(Replay(line), "Change in the CTS line.\r\nChange in the DSR line.\r\n");
        EXPECT_EQ(line.counterReads, 2);
    }
}

TEST(LineEventSource, StopsWhenTold)
{
    FakeLine line{{{kIdle, C{}}, {kTncOn, Counts({{&C::cts, 1}, {&C::dsr, 1}})}}};
    LineEventSource source;
    source.SetInterval(std::chrono::milliseconds(5));
    std::vector<int> codes;
    // The port is closed on its first event: the rest of that poll is dropped.
    QObject::connect(&source, &LineEventSource::Event, [&](int code) {
        codes.push_back(code);
        source.Stop();
    });
    source.Start(line.Readers());
    line.step = 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !codes.empty(); }, 10000));
    EXPECT_EQ(codes, std::vector<int>{comm_event::CtsChange});
    EXPECT_FALSE(source.Watching());
}

TEST(LineEventSource, PseudoTerminalRaisesNothingAndIsNotPolled)
{
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    const LineReaders readers = PortLineReaders(slave);
    EXPECT_EQ(readers.lines(), std::nullopt);
    EXPECT_EQ(readers.counters(), std::nullopt);

    LineEventSource source;
    int events = 0;
    QObject::connect(&source, &LineEventSource::Event, [&](int) { ++events; });
    source.Start(slave);
    EXPECT_FALSE(source.Watching());
    QCoreApplication::processEvents();
    EXPECT_EQ(events, 0);
    source.Stop();
    ::close(slave);
}

TEST(LineEventSource, DescriptorThatIsNoTerminalIsNotPolled)
{
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    LineEventSource source;
    source.Start(pipeEnds[0]);
    EXPECT_FALSE(source.Watching());
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

}  // namespace
}  // namespace quillon
