// The once-a-second idle line of the status box.
//
// The idle line counts the whole seconds since the last frame. Its bracket
// holds the count last reached before a tick that fell into the same second
// as a frame end, roughly the length of the previous silence:
//
//   start-up   12:00:00.5   the last frame time becomes 12:00:00
//   tick       12:00:01.8   "1 sec since last packet [0]"
//   ...
//   tick       12:00:39.8   "39 sec since last packet [0]"
//   frame end  12:00:40.3
//   tick       12:00:40.8   nothing; the bracket takes 39
//   tick       12:00:41.8   "1 sec since last packet [39]"
//
// A frame whose next tick already falls into a later second leaves the
// bracket as it was. A clock set back puts the last frame in the future and
// the count below zero, e.g. "-3599 sec since last packet [12]".
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "timesvc.h"

namespace quillon {

// One tick's idle-line step, given the last frame time and the present UTC
// time. Updates the counters and gives the line to append (without CR LF),
// or nothing when the present second is the last frame's.
std::optional<std::string> StatusTimerTick(StatusTimerState& state, DateTime lastFrameTime, DateTime now);

// The watch on a quiet channel (SILENCE_WARNING): once no frame has come for
// `limit`, one line, a warning; when frames come again, one line; then the
// next silence. A frame that ends a silence shows in the last frame time.
//
//   "no frame received for 30 min"
//   "frames received again after 47 min"
struct SilenceWatch {
    std::chrono::minutes limit{0};  // 0: no watch
    // The last frame time when the warning was said: a silence under way.
    std::optional<DateTime> silentSince;
};

// One tick's step: the line to say, or nothing. The line is a warning when
// `watch.silentSince` is set afterwards.
std::optional<std::string> SilenceTick(SilenceWatch& watch, DateTime lastFrameTime, DateTime now);

// The ticks fall at .900 of each UTC second, late in it, so that the tick
// after a frame almost always falls into the frame's own second and the
// bracket takes the silence before it. The delay from `now` to the next
// tick: to .900 of this second, or of the next when that is no more than
// 50 ms away or when this second is `lastTick`, the second of the tick just
// made. A tick that comes a few ms early or late is followed by the next
// second's. One held up past the end of its second (the program busy for
// over 100 ms at .900) shows the count of the second it came in, so that
// second's predecessor goes without a count; the next tick is then aimed at
// the following second, not at .900 of the same one, which would repeat a
// count.
std::chrono::milliseconds DelayToNextTick(std::chrono::system_clock::time_point now,
                                          DateTime lastTick = DateTime::min());

}  // namespace quillon
