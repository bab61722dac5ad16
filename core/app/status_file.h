// The figures of a running station, as its status file (STATUS_FILE) and its
// service status show them. The file is in the Prometheus text format, which
// node_exporter's textfile collector reads; every metric has its HELP and
// TYPE lines, a counter's name ends in _total, times are Unix seconds:
//
//   # HELP quillon_frames_received_total Frames received from the TNC.
//   # TYPE quillon_frames_received_total counter
//   quillon_frames_received_total 1234
//   # HELP quillon_frames_total Frames received, by the KISS port of their command byte.
//   # TYPE quillon_frames_total counter
//   quillon_frames_total{port="0"} 1230
//   quillon_frames_total{port="1"} 4
//   ...
//   quillon_link_up{link="input"} 1
//
// A new figure is a field of StationFigures and one line in the table of
// status_file.cpp.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app.h"

namespace quillon {

struct StationFigures {
    Counters counts;
    std::uint64_t mirrorBytesDropped = 0;
    // The input link as the status lines name it ("COM 1",
    // "LOCALHOST:8001"), and whether it and the mirror link are open.
    std::string inputName;
    bool inputUp = false;
    bool mirrorUp = false;
    int logsFailing = 0;  // logs that cannot be written now
    std::chrono::system_clock::time_point start;
    // The last frame's time; the start of the run until the first frame.
    std::chrono::system_clock::time_point lastFrame;
    // The sharers that are on; the file has no lines of one that is off.
    struct Igate {
        std::uint64_t gated = 0, notGated = 0;
    };
    struct KissServer {
        std::uint64_t clients = 0, framesDropped = 0, framesFromClients = 0;
    };
    struct Mqtt {
        std::uint64_t published = 0, dropped = 0;
        bool connected = false;
    };
    std::optional<Igate> igate;
    std::optional<KissServer> kissServer;
    std::optional<Mqtt> mqtt;
};

// The whole status file, each line ending in "\n".
std::string StatusFileText(const StationFigures& figures);

// The service's one-line status (systemd's STATUS=): "1234 frames received,
// COM 1 open" or "..., LOCALHOST:8001 away".
std::string ServiceStatusLine(const StationFigures& figures);

}  // namespace quillon
