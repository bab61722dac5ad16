#include "timesvc.h"

#include <charconv>
#include <cstdio>

namespace quillon {

namespace {

// "yyyy-MM-dd HH:nn:ss.mmm" with every digit a 'd'.
constexpr std::string_view kLayout = "dddd-dd-dd dd:dd:dd.ddd";

bool Matches(std::string_view stamp)
{
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (kLayout[i] == 'd' ? !digit : stamp[i] != kLayout[i])
            return false;
    }
    return true;
}

int Number(std::string_view stamp, std::size_t offset, std::size_t length)
{
    int n = 0;
    std::from_chars(stamp.data() + offset, stamp.data() + offset + length, n);
    return n;
}

struct Civil {
    int year;
    unsigned month, day, hour, minute, second;
};

Civil ToCivil(DateTime t)
{
    const auto day = std::chrono::floor<std::chrono::days>(t);
    const std::chrono::year_month_day ymd{day};
    const std::chrono::hh_mm_ss hms{t - day};
    return {int(ymd.year()),
            unsigned(ymd.month()),
            unsigned(ymd.day()),
            unsigned(hms.hours().count()),
            unsigned(hms.minutes().count()),
            unsigned(hms.seconds().count())};
}

}  // namespace

DateTime UtcNow(const Clock& clock) { return std::chrono::floor<std::chrono::seconds>(clock.Now()); }

std::string UtcTimestamp(const Clock& clock) { return FormatTimestamp(clock.Now()); }

std::string FormatTimestamp(std::chrono::system_clock::time_point t)
{
    const auto whole = std::chrono::floor<std::chrono::seconds>(t);
    const auto millis = unsigned(std::chrono::floor<std::chrono::milliseconds>(t - whole).count());
    std::string stamp = FormatDateTime(whole);
    const char fraction[] = {'.', char('0' + millis / 100), char('0' + millis / 10 % 10), char('0' + millis % 10)};
    return stamp.append(fraction, sizeof fraction);
}

// Every frame's report, log lines and time frame are stamped: written digit
// by digit, not through printf, which costs a good part of a frame.
std::string FormatDateTime(DateTime t)
{
    const Civil c = ToCivil(t);
    if (c.year < 0 || c.year > 9999) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
        return buffer;
    }
    std::string text = "0000-00-00 00:00:00";
    const auto put = [&text](std::size_t at, unsigned value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + std::size_t(i)] = char('0' + value % 10);
    };
    put(0, unsigned(c.year), 4);
    put(5, c.month, 2);
    put(8, c.day, 2);
    put(11, c.hour, 2);
    put(14, c.minute, 2);
    put(17, c.second, 2);
    return text;
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
    std::snprintf(buffer, sizeof buffer, "%02u%02u%04d_%02u%02u", c.day, c.month, c.year, c.hour, c.minute);
    return buffer;
}

std::optional<DateTime> ParseLogStem(std::string_view stem)
{
    using namespace std::chrono;
    for (std::size_t i = 0; i < stem.size(); ++i)
        if (i == 8 ? stem[i] != '_' : stem[i] < '0' || stem[i] > '9')
            return std::nullopt;
    if (stem.size() != 13)
        return std::nullopt;
    const year_month_day date{year{Number(stem, 4, 4)}, month(unsigned(Number(stem, 2, 2))),
                              day(unsigned(Number(stem, 0, 2)))};
    const int hour = Number(stem, 9, 2), minute = Number(stem, 11, 2);
    if (!date.ok() || hour > 23 || minute > 59)
        return std::nullopt;
    return sys_days{date} + hours{hour} + minutes{minute};
}

std::optional<std::chrono::system_clock::time_point> ParseTimestamp(std::string_view stamp)
{
    using namespace std::chrono;
    if (stamp.size() != kLayout.size() || !Matches(stamp))
        return std::nullopt;
    const year_month_day date{year{Number(stamp, 0, 4)}, month(unsigned(Number(stamp, 5, 2))),
                              day(unsigned(Number(stamp, 8, 2)))};
    const int hour = Number(stamp, 11, 2), minute = Number(stamp, 14, 2), second = Number(stamp, 17, 2);
    // The clock counts nanoseconds in 64 bits, about 292 years either side of
    // 1970; a year outside that would overflow it.
    const sys_days first = floor<days>(system_clock::time_point::min()) + days{1};
    const sys_days last = floor<days>(system_clock::time_point::max()) - days{1};
    if (!date.ok() || sys_days{date} < first || sys_days{date} > last || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return sys_days{date} + hours{hour} + minutes{minute} + seconds{second} + milliseconds{Number(stamp, 20, 3)};
}

}  // namespace quillon
