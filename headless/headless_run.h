// A run of the station without a window, on a QCoreApplication: no display
// and no Qt Gui platform plugin needed.
#pragma once

namespace quillon {

// Runs until SIGTERM or SIGINT, which end the run in order (the exit
// script, the logs closed, the empty ones deleted); SIGHUP reopens the logs
// by the same names, so that a log rotated away is created anew. Standard
// output never holds the run (line_output.h): a reader that goes away ends
// the output, and the run goes on. The exit code.
int RunHeadless(int argc, char** argv, bool monitor);

}  // namespace quillon
