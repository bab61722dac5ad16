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

#include <optional>
#include <string>

#include "timesvc/timesvc.h"

namespace quillon {

// One tick's idle-line step, given the last frame time and the present UTC
// time. Updates the counters and gives the line to append (without CR LF),
// or nothing when the present second is the last frame's.
std::optional<std::string> StatusTimerTick(StatusTimerState& state, DateTime lastFrameTime,
                                           DateTime now);

}  // namespace quillon
