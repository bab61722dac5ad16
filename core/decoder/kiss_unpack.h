// Undoes the KISS transparency escapes of a frame as received.
#pragma once

#include "decoder/decoder.h"
#include "tnc/tnc.h"

namespace quillon {

// Copies a frame as received (both FENDs included) into DecodedFrame from
// position 1, turning FESC TFEND into FEND and FESC TFESC into FESC.
void UnpackKissFrame(std::span<const std::uint8_t> raw, DecoderState& dec);
inline void UnpackKissFrame(const ReceiveState& rx, DecoderState& dec) { UnpackKissFrame(rx.Bytes(), dec); }

}  // namespace quillon
