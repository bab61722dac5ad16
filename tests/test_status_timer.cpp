#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "timesvc/status_timer.h"

namespace quillon {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

// 2013-07-28 12:00:00 UTC, the moment of start-up in every sequence.
const system_clock::time_point kStart = sys_days{2013y / July / 28} + 12h;

// One event on the time line: a frame end (which also empties the status
// box, as every receive does) or a timer tick with the line it must write
// ("" for none).
struct Step {
    enum Kind { Frame, Tick } kind;
    milliseconds at;  // after kStart, on the clock as it then reads
    std::string line = "";
};

Step FrameAt(milliseconds at) { return {Step::Frame, at}; }
Step TickAt(milliseconds at, std::string line = "") { return {Step::Tick, at, std::move(line)}; }

// Ticks at the same fraction of every second, counting up from `first`.
std::vector<Step> Silence(seconds from, int ticks, milliseconds phase, int first, int bracket)
{
    std::vector<Step> steps;
    for (int i = 0; i < ticks; ++i)
        steps.push_back(TickAt(from + seconds(i) + phase, std::to_string(first + i) +
                                                              " sec since last packet [" +
                                                              std::to_string(bracket) + "]"));
    return steps;
}

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts)
{
    std::vector<Step> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct SequenceCase {
    const char* name;
    std::vector<Step> steps;
};

TEST(StatusTimer, IdleLineFollowsTheFrames)
{
    const milliseconds late = 800ms;  // ticks fall late in their second
    const SequenceCase cases[] = {
        {"start-up counts up from 1 with [0]",
         Join({{FrameAt(500ms), TickAt(800ms)}, Silence(1s, 3, late, 1, 0)})},
        {"start-up that took two seconds", Join({{FrameAt(200ms)}, Silence(3s, 2, 200ms, 3, 0)})},
        {"a frame in the same second as a tick after 40 silent seconds",
         Join({{FrameAt(500ms)}, Silence(1s, 40, late, 1, 0), {FrameAt(41300ms), TickAt(41800ms)},
               Silence(42s, 2, late, 1, 40)})},
        {"a frame whose next tick falls into the next second keeps the brackets",
         Join({{FrameAt(500ms)}, Silence(1s, 12, late, 1, 0), {FrameAt(13300ms), TickAt(13800ms)},
               Silence(14s, 7, late, 1, 12), {FrameAt(20900ms)}, Silence(21s, 2, late, 1, 12)})},
        {"a frame between ticks without silence leaves [0]",
         Join({{FrameAt(500ms), TickAt(800ms), FrameAt(1100ms), TickAt(1800ms)},
               Silence(2s, 1, late, 1, 0)})},
        {"clock an hour fast, set back after a frame",
         Join({{FrameAt(500ms)}, Silence(1s, 12, late, 1, 0), {FrameAt(13300ms), TickAt(13800ms)},
               {FrameAt(20300ms)}, Silence(21s - 1h, 2, late, -3599, 12)})},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock(kStart);
        StatusTimerState state;
        DateTime lastFrame{};
        for (const Step& s : c.steps) {
            clock.Set(kStart + s.at);
            if (s.kind == Step::Frame) {
                lastFrame = UtcNow(clock);
                continue;
            }
            const auto line = StatusTimerTick(state, lastFrame, UtcNow(clock));
            EXPECT_EQ(line.value_or(""), s.line) << "tick at " << s.at.count() << " ms";
        }
    }
}

TEST(StatusTimer, ClockThrownBackACenturyStaysNegative)
{
    // A time answer of 0 would put the clock in 1900; the count is held at
    // the smallest 32-bit value instead of wrapping to a positive one.
    StatusTimerState state;
    const DateTime lastFrame = floor<seconds>(kStart);
    const DateTime in1900 = sys_days{1900y / January / 1};
    EXPECT_EQ(StatusTimerTick(state, lastFrame, in1900).value_or(""),
              "-2147483648 sec since last packet [0]");
}

TEST(StatusTimer, MirrorLampsOnlyWhileMirroring)
{
    struct LampCase {
        const char* name;
        bool inputOpen, mirrorOpen, mirroring;
        LampStates lamps;
    };
    const LampCase cases[] = {
        {"both open, mirroring off", true, true, false, {true, false, false, false}},
        {"input closed, mirroring off", false, false, false, {false, true, false, false}},
        {"both open, mirroring on", true, true, true, {true, false, true, false}},
        {"mirror port could not be opened, mirroring on", true, false, true, {true, false, false, true}},
        {"input lost, mirror open, mirroring on", false, true, true, {false, true, true, false}},
    };
    for (const LampCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StatusLamps(c.inputOpen, c.mirrorOpen, c.mirroring), c.lamps);
    }
}

}  // namespace
}  // namespace quillon
