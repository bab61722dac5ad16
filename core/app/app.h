// Application shell: the configuration record, the program-wide counters and
// the release constants.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

inline constexpr const char* kVersionText = "8.5";
inline constexpr const char* kReleaseDateText = "28 July 2013";

// One text field per key of quillon.ini, named after the key; filled once at
// start-up, upper-cased and trimmed of blanks, read-only afterwards.
struct ConfigurationRecord {
    std::string COM_PORT;
    std::string COM_SETTINGS;
    std::string COM_HANDSHAKING;
    std::string MIRROR_COM_PORT;
    std::string MIRROR_COM_SETTINGS;
    std::string MIRROR_COM_HANDSHAKING;
    std::string TIMESERVER;
    std::string KISS_TCP;
    std::string TIMEFRAMES;
    std::string HEXFILE;
    std::string MIRROR;
    std::string LOG_ROTATE;  // DAILY: a new set of logs at 00:00 UTC
    std::string JSONFILE;    // YES: also a JSON Lines log, one object a frame
};

// A switch is on only when its field is exactly "YES".
inline bool IsOn(const std::string& field) { return field == "YES"; }

// The 32-bit counters go round past 2^31 instead of overflowing: a station
// left mirroring at 9600 baud passes that many bytes in under four weeks.
inline void AddWrapping(std::int32_t& counter, std::uint32_t n)
{
    counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + n);
}

struct Counters {
    std::uint64_t BytesReceived = 0;  // never wraps in practice
    std::int32_t FrameCount = 0;
    std::int32_t TfescCount = 0;
    std::int32_t TfendCount = 0;
};

}  // namespace quillon
