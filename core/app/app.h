// Application shell: the program-wide counters and the release constants.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

inline constexpr const char* kVersionText = "8.5";
inline constexpr const char* kReleaseDateText = "28 July 2013";

// The 32-bit counters go round past 2^31 instead of overflowing: a station
// left mirroring at 9600 baud passes that many bytes in under four weeks.
inline void AddWrapping(std::int32_t& counter, std::uint32_t n)
{
    counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + n);
}

inline constexpr int kKissPorts = 16;  // the upper four bits of the command byte

struct Counters {
    std::uint64_t BytesReceived = 0;  // never wraps in practice
    std::int32_t FrameCount = 0;
    std::int32_t TfescCount = 0;
    std::int32_t TfendCount = 0;
    // FrameCount by the KISS port of the frame's command byte (escape undone).
    std::array<std::uint64_t, kKissPorts> PortFrames{};
    // What the line brought that is no frame: frames longer than the frame
    // buffer, dropped whole, and bytes outside any frame. Losses, which
    // "Clear Counter" keeps as it keeps the escape counts.
    std::uint64_t OversizeFrames = 0;
    std::uint64_t NoiseBytes = 0;
};

}  // namespace quillon
