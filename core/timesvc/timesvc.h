// Time services: the program's date-time value, UTC "now", the timestamp
// text, and the state of the once-a-second status display.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "clock.h"

namespace quillon {

// A calendar date with a time of day to the whole second, in UTC.
using DateTime = std::chrono::sys_seconds;

// The present UTC date-time, to the whole second (fraction dropped).
DateTime UtcNow(const Clock& clock);

// "yyyy-MM-dd HH:nn:ss.mmm", 23 characters, from one reading of the clock;
// the milliseconds are truncated, never rounded into the next second.
std::string UtcTimestamp(const Clock& clock);
std::string FormatTimestamp(std::chrono::system_clock::time_point t);
// The moment a timestamp in that layout stands for; nothing when the text has
// another layout or no valid date and time.
std::optional<std::chrono::system_clock::time_point> ParseTimestamp(std::string_view stamp);

// "yyyy-MM-dd HH:nn:ss"
std::string FormatDateTime(DateTime t);
// "hh:mm:ss" (hours 00 to 23), the clock label of the main window.
std::string FormatClock(DateTime t);
// "ddmmyyyy_hhmm", the stem of a run's log file names.
std::string FormatLogStem(DateTime t);
// The date-time a log stem stands for ("ddmmyyyy_hhmm", 13 characters);
// nothing for any other text or an impossible date or time.
std::optional<DateTime> ParseLogStem(std::string_view stem);

// The status timer's counters (all start at 0 and are never reset).
struct StatusTimerState {
    std::int32_t IdleSeconds = 0;
    std::int32_t LastIdleSeconds = 0;
    std::int32_t PreviousGapSeconds = 0;
};

}  // namespace quillon
