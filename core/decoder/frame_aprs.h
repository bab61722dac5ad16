// The APRS packet of a decoded frame.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "aprs/aprs.h"
#include "decoder.h"

namespace quillon {

// Whether the frame holds its whole header: the address field up to the
// address with the end-of-address bit (within ten addresses) and the control
// byte behind it. A frame without one shows no callsigns in the JSON log.
bool HeaderIsWhole(const DecoderState& dec);

// Decodes the payload of a UI frame with PID F0 and a whole header as APRS;
// nullopt for any other frame. The packet's views point into `dec`, which
// must outlive it (and not move). `time` is the frame's time, for timestamps.
std::optional<AprsPacket> DecodeAprsFrame(const DecoderState& dec, std::chrono::system_clock::time_point time);

// The frame in the TNC2 monitor form APRS tools read, without line end:
// "SRC>DST,DIGI1,DIGI2*,DIGI3:payload", the "*" behind the last digipeater
// whose H bit is set, blank digipeater calls left out, the payload's bytes as
// received; a CR or LF, in the payload or a call from the air, shows as "."
// as in the dump log, so the line stays one line. Only for a frame whose
// header is whole.
std::string Tnc2Line(const DecoderState& dec);
// Its part before the ":", "SRC>DST,DIGI1,DIGI2*,DIGI3", as received.
std::string Tnc2Address(const DecoderState& dec);

}  // namespace quillon
