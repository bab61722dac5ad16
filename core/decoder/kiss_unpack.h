// Undoes the KISS transparency escapes of a frame as received.
#pragma once

#include "decoder.h"
#include "kiss/kiss.h"

namespace quillon {

// Copies a frame as received (both FENDs included; its first 1024 bytes)
// into DecodedFrame from position 1 with the escapes undone (UnescapeKiss).
void UnpackKissFrame(std::span<const std::uint8_t> raw, DecoderState& dec);
inline void UnpackKissFrame(const ReceiveState& rx, DecoderState& dec) { UnpackKissFrame(rx.Bytes(), dec); }

}  // namespace quillon
