// The station's surroundings as the program finds them when it starts: the
// program folder beside the executable, and the environment variables that
// tests and headless runs set.
//
//   QUILLON_STATUS_TO_STDERR=1   every status line also on standard error
//   QUILLON_TIME_PORT=N          the time-server query asks port N, not 37
//                                (a test server without a privileged port)
//   QUILLON_LOG_TIME="yyyy-MM-dd HH:nn:ss.mmm"
//                                the logs are named after that moment, not
//                                the start of the run (runs that must share
//                                their logs)
#pragma once

#include "station.h"

namespace quillon {

// `logClock` holds the moment of QUILLON_LOG_TIME; it must outlive the
// station.
StationEnvironment ProcessEnvironment(FixedClock& logClock);

}  // namespace quillon
