#include "timesvc/timesvc.h"

#include <cstdio>

namespace quillon {

namespace {

struct Civil {
    int year;
    unsigned month, day, hour, minute, second;
};

Civil ToCivil(DateTime t)
{
    const auto day = std::chrono::floor<std::chrono::days>(t);
    const std::chrono::year_month_day ymd{day};
    const std::chrono::hh_mm_ss hms{t - day};
    return {int(ymd.year()), unsigned(ymd.month()), unsigned(ymd.day()),
            unsigned(hms.hours().count()), unsigned(hms.minutes().count()),
            unsigned(hms.seconds().count())};
}

}  // namespace

DateTime UtcNow(const Clock& clock)
{
    return std::chrono::floor<std::chrono::seconds>(clock.Now());
}

std::string UtcTimestamp(const Clock& clock)
{
    return FormatTimestamp(clock.Now());
}

std::string FormatTimestamp(std::chrono::system_clock::time_point t)
{
    const auto whole = std::chrono::floor<std::chrono::seconds>(t);
    const auto millis = std::chrono::floor<std::chrono::milliseconds>(t - whole).count();
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, ".%03d", int(millis));
    return FormatDateTime(whole) + buffer;
}

std::string FormatDateTime(DateTime t)
{
    const Civil c = ToCivil(t);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", c.year, c.month, c.day,
                  c.hour, c.minute, c.second);
    return buffer;
}

std::string FormatClock(DateTime t)
{
    const Civil c = ToCivil(t);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", c.hour, c.minute, c.second);
    return buffer;
}

std::string FormatLogStem(DateTime t)
{
    const Civil c = ToCivil(t);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u%02u%04d_%02u%02u", c.day, c.month, c.year, c.hour,
                  c.minute);
    return buffer;
}

}  // namespace quillon
