// Time services: the timestamps, the idle line of the status timer, the system clock set from a time server.
#include <cstdlib>
#include <ctime>

#include "core_test.h"
#include "timesvc/clock_sync.h"
#include "timesvc/status_timer.h"

namespace quillon::test { namespace {

TEST(UtcClock, TimestampsAndPatternsInUtcWhateverTheZone)
{
    const std::pair<system_clock::time_point, const char*> stamps[] = {
        {kExampleTime, "2013-07-28 14:05:09.437"}, {At(23h + 59min + 59s + 999999us), "2013-07-28 23:59:59.999"},
        {sys_days{2026y / 12 / 31} + 86399s, "2026-12-31 23:59:59.000"},
        {sys_days{2000y / 2 / 29} + 7ms, "2000-02-29 00:00:00.007"}};
    for (const auto& [t, text] : stamps)
        EXPECT_EQ(std::pair(UtcTimestamp(FakeClock(t)), ParseTimestamp(text)),
                  std::pair(std::string(text), std::optional<system_clock::time_point>(floor<milliseconds>(t))));
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu"}) {
        ::setenv("TZ", zone, 1), ::tzset();
        const DateTime t = UtcNow(FakeClock(kExampleTime));
        EXPECT_EQ(FormatLogStem(t) + " " + FormatClock(t) + " " + FormatDateTime(t),
                  "28072013_1405 14:05:09 2013-07-28 14:05:09") << zone;
    }
    saved.empty() ? ::unsetenv("TZ") : ::setenv("TZ", saved.c_str(), 1), ::tzset();
    EXPECT_EQ(FormatLogStem(sys_days{2027y / 1 / 1}), "01012027_0000");
}

// After 12:00:00 in ms: "F" frame end, "T" silent tick, "S second ticks count bracket [ms=800]" a run of lines.
std::vector<std::pair<milliseconds, std::string>> Ticks(std::initializer_list<std::string_view> script)
{
    std::vector<std::pair<milliseconds, std::string>> steps;  // a frame end: line "F"
    for (const std::string_view step : script) {
        int n[5] = {0, 0, 0, 0, 800};
        std::sscanf(step.data() + 1, "%d %d %d %d %d", &n[0], &n[1], &n[2], &n[3], &n[4]);
        if (step[0] != 'S')
            steps.push_back({milliseconds(n[0]), step[0] == 'F' ? "F" : ""});
        for (int i = 0; step[0] == 'S' && i < n[1]; ++i)
            steps.push_back({seconds(n[0] + i) + milliseconds(n[4]),
                             std::to_string(n[2] + i) + " sec since last packet [" + std::to_string(n[3]) + "]"});
    }
    return steps;
}

TEST(StatusTimer, IdleLineFollowsTheFrames)
{
    const struct { const char* name; std::vector<std::pair<milliseconds, std::string>> steps; } cases[] = {
        {"start-up counts from 1 with [0]", Ticks({"F500", "T800", "S1 3 1 0"})},
        {"a frame in the same second as a tick after 40 silent seconds",
         Ticks({"F500", "S1 40 1 0", "F41300", "T41800", "S42 2 1 40"})},
        {"a frame whose next tick falls into the next second keeps the bracket",
         Ticks({"F500", "S1 12 1 0", "F13300", "T13800", "S14 7 1 12", "F20900", "S21 2 1 12"})},
        {"a frame between ticks without silence leaves [0]", Ticks({"F500", "T800", "F1100", "T1800", "S2 1 1 0"})},
        {"clock an hour fast, set back after a frame",
         Ticks({"F500", "S1 12 1 0", "F13300", "T13800", "F20300", "S-3579 2 -3599 12"})},
    };
    for (const auto& c : cases) {
        StatusTimerState state;
        DateTime lastFrame{};
        for (const auto& [at, line] : c.steps) {
            const DateTime now = UtcNow(FakeClock(At(12h + at)));
            if (line == "F")
                lastFrame = now;
            else
                EXPECT_EQ(StatusTimerTick(state, lastFrame, now).value_or(""), line) << c.name << " at " << at.count();
        }
    }
    StatusTimerState state;  // a clock thrown back to 1900 is held at the smallest count
    EXPECT_EQ(StatusTimerTick(state, UtcNow(FakeClock(At(12h))), sys_days{1900y / 1 / 1}).value_or(""),
              "-2147483648 sec since last packet [0]");
}

// The timer aims at .900 of a second, not within 50 ms, never in the second just ticked.
TEST(StatusTimer, TheNextTickFallsAtNineTenthsOfASecond)
{
    const DateTime s12{floor<seconds>(At(12h))};
    const struct { milliseconds now; DateTime lastTick; milliseconds delay; } cases[] = {
        {123ms, DateTime::min(), 777ms},  {849ms, DateTime::min(), 51ms},  {850ms, DateTime::min(), 1050ms},
        {900ms, DateTime::min(), 1000ms}, {900ms, s12, 1000ms},              // on time
        {1100ms, s12 + 1s, 1800ms},         // late into the next second: no second tick in it
        {700ms, s12, 1200ms},               // early in the same second
        {-3599s + 300ms, s12, 600ms},       // the clock set back an hour
    };
    for (const auto& c : cases)
        EXPECT_EQ(DelayToNextTick(At(12h + c.now), c.lastTick), c.delay) << c.now.count();
}

TEST(ClockSync, SetsTheClockFromTheReplyAndTellsWhatHappened)
{
    const std::string begin = "   beginning system clock synchronization|";
    const std::string invalid = "Time passed not valid. Clock not synchronised|";
    const std::string done = begin + "clock synchronised succesfully with NTP server PTBTIME1.PTB.DE|";
    const std::string refused = begin + "SetSystemTime failed. Clock not synchronised|";
    const struct { const char* reply; bool setterSucceeds; std::string lines; std::string timeSet; } cases[] = {
        {"EE BD D2 80", true, done, "2026-12-05 00:00:00"}, {"29 49 1C 00", true, done, "1921-12-13 20:45:52"},
        {"29 49 1B FF", true, "", ""}, {"FF FF FF FF", true, done, "2036-02-07 06:28:15"},
        {"EE BD D2 80", false, refused, "2026-12-05 00:00:00"}, {"EE BD D2", true, invalid, ""},
        {"EE BD D2 80 00", true, invalid, ""},
    };
    for (const auto& c : cases) {
        FakeClockSetter setter(c.setterSucceeds);
        std::string lines, times;
        SyncSystemClock(Bytes(c.reply), "PTBTIME1.PTB.DE", setter, [&](std::string_view l) { lines += std::string(l) + "|"; });
        for (const DateTime t : setter.Received())
            times += FormatDateTime(t);
        EXPECT_EQ(std::pair(lines, times), std::pair(c.lines, c.timeSet)) << c.reply;
    }
    EXPECT_EQ(DataReceivedLine(Bytes("0A FF 80"), 3) + "|" + DataReceivedLine(Bytes("80"), 0),
              "data received: 0A FF 80  (3 bytes)|data received:  (0 bytes)");
    EXPECT_EQ(DataReceivedLine(std::string(40'000, 'A'), 40'000),  // beyond 16 bits, dumped whole
              "data received: " + Repeat("41 ", 40'000) + " (40000 bytes)");
}

} }  // namespace quillon::test
