// The time frames of a raw KISS log: with TIMEFRAMES=YES the program writes
// one in front of every frame it logs, 30 bytes:
//   C0 09 "2013-07-28 14:05:09.437" " UTC" C0
#pragma once

#include <chrono>
#include <optional>

#include "tnc/tnc.h"

namespace quillon {

// The moment a time frame carries, when the frame in `rx` has exactly that
// layout and a valid date and time; nothing for any other frame.
std::optional<std::chrono::system_clock::time_point> ReadTimeFrame(const ReceiveState& rx);

}  // namespace quillon
