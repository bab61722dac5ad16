#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "timesvc/timesvc.h"

namespace quillon {
namespace {

using namespace std::chrono;

system_clock::time_point At(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms = 0)
{
    return sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms};
}

TEST(UtcClock, TimestampTakesSecondsAndMillisecondsFromOneReading)
{
    struct Case {
        system_clock::time_point t;
        const char* text;
    } cases[] = {
        {At(2013, 7, 28, 14, 5, 9, 437), "2013-07-28 14:05:09.437"},
        {At(2013, 7, 28, 23, 59, 59, 999) + microseconds(999), "2013-07-28 23:59:59.999"},
        {At(2026, 12, 31, 23, 59, 59, 0), "2026-12-31 23:59:59.000"},
        {At(2000, 2, 29, 0, 0, 0, 7), "2000-02-29 00:00:00.007"},
    };
    for (const auto& c : cases) {
        FakeClock clock(c.t);
        EXPECT_EQ(UtcTimestamp(clock), c.text);
        EXPECT_EQ(UtcTimestamp(clock).size(), 23u);
    }
}

TEST(UtcClock, PatternsOfTheLogNamesAndTheClockLabel)
{
    const DateTime t = floor<seconds>(At(2013, 7, 28, 14, 5, 9));
    EXPECT_EQ(FormatLogStem(t), "28072013_1405");
    EXPECT_EQ(FormatClock(t), "14:05:09");
    EXPECT_EQ(FormatDateTime(t), "2013-07-28 14:05:09");
    EXPECT_EQ(FormatLogStem(floor<seconds>(At(2027, 1, 1, 0, 0, 0))), "01012027_0000");
}

// Everything stamped is UTC whatever zone the machine is set to: the real
// clock is read in UTC and no local time is ever consulted.
TEST(UtcClock, ZoneDoesNotMatter)
{
    const char* saved = std::getenv("TZ");
    const std::string savedValue = saved ? saved : "";
    std::vector<std::string> seen;
    for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
                             "Pacific/Kiritimati", "Asia/Kathmandu"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        const auto now = system_clock::now();
        FakeClock clock(now);
        const std::time_t tt = system_clock::to_time_t(now);
        std::tm utc{};
        ::gmtime_r(&tt, &utc);
        char expected[32];
        std::strftime(expected, sizeof expected, "%d%m%Y_%H%M", &utc);
        EXPECT_EQ(FormatLogStem(UtcNow(clock)), expected) << zone;
    }
    if (saved)
        ::setenv("TZ", savedValue.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace quillon
