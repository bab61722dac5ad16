// The AX.25 control field (one byte, modulo 8) and the PID behind it.
#pragma once

#include <cstdint>
#include <string>

#include "decoder.h"

namespace quillon {

// Sets `text` to the mnemonic of a control byte ("I53+", "RR0v", "UI!",
// "UNKNOWN U", ...) and tells whether a PID byte follows it (I and UI frames).
bool NameControlByte(std::uint8_t control, std::string& text);

// Reads the control byte at `controlPosition` into ControlByte and
// ControlText, the PID behind it for I and UI frames (PidByte stays empty for
// the others), and sets PayloadStart.
void DecodeControlField(DecoderState& dec, int controlPosition);

}  // namespace quillon
