// Undoes the KISS transparency escapes of a frame as received.
#pragma once

#include "decoder/decoder.h"
#include "tnc/tnc.h"

namespace quillon {

// Copies RawFrame positions 1 to RawFrameLength into DecodedFrame, FENDs
// included, turning FESC TFEND into FEND and FESC TFESC into FESC.
void UnpackKissFrame(const ReceiveState& rx, DecoderState& dec);

}  // namespace quillon
