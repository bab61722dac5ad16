// Reading the un-escaped frame where it may be shorter than the field being
// read. A frame that ends early never shows bytes of an earlier frame: every
// position past DecodedFrameLength reads as an empty field instead.
#pragma once

#include <cstdint>

#include "decoder.h"

namespace quillon {

// What a position past the end of the frame reads as.
inline constexpr std::uint8_t kMissingCallsignByte = 0x40;  // a blank, shifted left
// SSID 0, H bit clear, extension bit set: the address field ends with the frame.
inline constexpr std::uint8_t kMissingSsidByte = 0x01;
inline constexpr std::uint8_t kMissingByte = 0x00;  // control and PID

inline std::uint8_t FrameByteOr(const DecoderState& dec, int position, std::uint8_t missing)
{
    if (position < 1 || position > dec.DecodedFrameLength || position > kDecodedFrameSize)
        return missing;
    return dec.DecodedFrame[static_cast<std::size_t>(position)];
}

}  // namespace quillon
