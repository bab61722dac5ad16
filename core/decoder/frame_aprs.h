// The APRS packet of a decoded frame.
#pragma once

#include <chrono>
#include <optional>

#include "aprs/aprs.h"
#include "decoder/decoder.h"

namespace quillon {

// Whether the frame holds its whole header: the address field up to the
// address with the end-of-address bit (within ten addresses) and the control
// byte behind it. A frame without one shows no callsigns in the JSON log.
bool HeaderIsWhole(const DecoderState& dec);

// Decodes the payload of a UI frame with PID F0 and a whole header as APRS;
// nullopt for any other frame. The packet's views point into `dec`, which
// must outlive it (and not move). `time` is the frame's time, for timestamps.
std::optional<AprsPacket> DecodeAprsFrame(const DecoderState& dec,
                                          std::chrono::system_clock::time_point time);

}  // namespace quillon
