// Dire Wolf's kissutil (Debian package direwolf) as a yardstick: it reads a
// KISS TNC on a serial port and prints one line per frame, keeping nothing.
#pragma once

#include <cstddef>
#include <string>

namespace quillon::bench {

struct KissutilRun {
    bool ran = false;        // false: kissutil is not installed or did not start
    std::size_t frames = 0;  // lines it printed for frames
    double seconds = 0;      // from the first byte written to the last line read
    double cpuSeconds = -1;  // user plus system CPU of kissutil's whole run; -1 when unknown
};

// Writes `stream` as fast as it is taken into a pseudo-terminal that
// kissutil reads (`tcp`: into its connection to a KISS server on the
// loopback), until it has printed `frames` frame lines or stops for 30 s.
KissutilRun RunKissutil(const std::string& stream, std::size_t frames, bool tcp = false);

// A listening socket on the loopback, on a port of its own (`port`); -1 when
// none can be had.
int ListenOnLoopback(int& port);
// The first connection to `listener`, non-blocking; -1 after `seconds`.
int AcceptWithin(int listener, double seconds);

}  // namespace quillon::bench
