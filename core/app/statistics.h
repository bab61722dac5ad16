// What the statistics window shows: a heading and six counter lines.
#pragma once

#include <string>
#include <vector>

#include "app.h"
#include "text/console.h"

namespace quillon {

// The runs written to the statistics window when it loads, in order:
//   "Statistics" (blue), LF LF, then black
//   "1234 Bytes received" LF "17 Frames decoded" LF
//   "0 TFESC received" LF "2 TFEND received" LF
//   "1 Oversize frames dropped" LF "12 Noise bytes dropped" LF
// Numbers in plain decimal, no grouping.
// `more`: further lines in black after these (the sharers' counts).
std::vector<ConsoleRun> StatisticsRuns(const Counters& counters, const std::vector<std::string>& more = {});

}  // namespace quillon
