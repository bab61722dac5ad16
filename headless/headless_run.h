// A run of the station without a window, on a QCoreApplication: no display
// and no Qt Gui platform plugin needed; and the check of the settings.
#pragma once

#include <QString>

namespace quillon {

struct HeadlessOptions {
    bool monitor = false;    // a line per frame
    bool idleLines = false;  // the idle line once a second, as the status box has it
    QString dir;             // --dir: the program folder; empty: QUILLON_DIR or the executable's
};

// The exit status of a run whose KISS_TCP names no server: EX_CONFIG.
inline constexpr int kConfigurationRefused = 78;

// Runs until SIGTERM or SIGINT, which end the run in order (the exit
// script, the logs closed, the empty ones deleted); SIGHUP reopens the logs
// by the same names, so that a log rotated away is created anew. Standard
// output never holds the run (line_output.h): a reader that goes away ends
// the output, and the run goes on. A KISS_TCP that names no server ends the
// run before it starts, with one line and kConfigurationRefused. The exit
// code.
int RunHeadless(int argc, char** argv, const HeadlessOptions& options);

// quillon --check: what quillon.ini in the program folder means, one line a
// key, then a warning for each unknown key and bad value, on standard
// output. 0 when nothing is wrong, else 1.
int RunCheck(int argc, char** argv, const QString& dir);

}  // namespace quillon
