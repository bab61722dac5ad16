// The station's surroundings as the program finds them when it starts: the
// program folder, and the environment variables that tests and headless
// runs set.
//
//   QUILLON_DIR=DIR              the program folder when --dir gives none
//   QUILLON_STATUS_TO_STDERR=1   every status line also on standard error
//   QUILLON_TIME_PORT=N          the time-server query asks port N, not 37
//                                (a test server without a privileged port)
//   QUILLON_LOG_TIME="yyyy-MM-dd HH:nn:ss.mmm"
//                                the logs are named after that moment, not
//                                the start of the run (runs that must share
//                                their logs)
#pragma once

#include <QString>
#include <optional>

#include "station.h"

namespace quillon {

// The folder of the settings, scripts, logs and COM links, as an absolute
// path: `dir` (--dir) when given, else QUILLON_DIR when set, else the folder
// of the executable. Nothing when that is no folder, which standard error
// is told. After the application object.
std::optional<QString> ProgramFolder(const QString& dir);

// `logClock` holds the moment of QUILLON_LOG_TIME; it must outlive the
// station.
StationEnvironment ProcessEnvironment(FixedClock& logClock, const QString& programFolder);

}  // namespace quillon
