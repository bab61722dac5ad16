// KISS at the byte level: the special bytes, and the state of the frame
// being cut from the byte stream. A TNC in KISS mode sends every frame it
// hears as
//   FEND  command  data, with FEND and FESC escaped  FEND
//   C0    00       41 DB DC 42                       C0     (data 41 C0 42)
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace quillon {

inline constexpr std::uint8_t FEND = 0xC0;   // frame delimiter
inline constexpr std::uint8_t FESC = 0xDB;   // escape
inline constexpr std::uint8_t TFEND = 0xDC;  // escaped FEND follows FESC
inline constexpr std::uint8_t TFESC = 0xDD;  // escaped FESC follows FESC

inline constexpr int kRawFrameSize = 1024;

using ByteString = std::vector<std::uint8_t>;

// The frame assembler's state.
struct ReceiveState {
    // The frame being assembled, as received: position 1 holds the opening
    // FEND, then every byte up to and including the closing FEND. Positions
    // count from 1, so index 0 is never used.
    std::array<std::uint8_t, kRawFrameSize + 1> RawFrame{};
    std::int16_t RawFrameLength = 0;  // 0 when no frame has begun
    bool FrameOpen = false;
    bool Discarding = false;  // the rest of a frame too long to keep follows

    // Positions 1 to RawFrameLength.
    std::span<const std::uint8_t> Bytes() const
    {
        return std::span<const std::uint8_t>(RawFrame).subspan(1, std::size_t(RawFrameLength));
    }

    std::uint8_t& At(int position) { return RawFrame[static_cast<std::size_t>(position)]; }
    std::uint8_t At(int position) const { return RawFrame[static_cast<std::size_t>(position)]; }
};

}  // namespace quillon
