// The frame decoder's one operation.
#pragma once

#include "decoder.h"
#include "kiss/kiss.h"

namespace quillon {

// Un-escapes the frame held in `rx` into a fresh DecoderState and decodes its
// AX.25 header: the addresses and AddressText, ControlByte, ControlText, PidByte and
// PayloadStart. Nothing is rejected; a frame shorter than its header reads the
// missing bytes as empty fields (see decoder/frame_bytes.h).
DecoderState DecodeAx25Frame(const ReceiveState& rx);

}  // namespace quillon
