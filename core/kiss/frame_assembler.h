// Cuts a KISS byte stream into frames at their FENDs.
//
// States (FrameOpen, RawFrameLength):
//   Idle        false, 0      waiting for an opening FEND; other bytes are
//                             noise between frames and are dropped
//   Collecting  true,  1..    bytes are stored as received, escapes intact
//   Discarding  (Discarding)  the rest of a frame too long to keep, up to
//                             its closing FEND
//
// Idle        + FEND   -> Collecting (FEND at position 1)
// Idle        + other  -> Idle, byte dropped
// Collecting  + FEND   -> with only the opening FEND held: stays Collecting
//                         (a doubled or stray FEND between frames must not
//                         shift the assembler out of step); otherwise the
//                         frame is complete -> Idle
// Collecting  + other  -> stored; a frame that would grow past 1024 bytes is
//                         dropped whole -> Discarding
// Discarding  + other  -> Discarding, byte dropped
// Discarding  + FEND   -> Collecting, as from Idle: the FEND that ends the
//                         dropped frame may be the only one before the next
//
// Feeding a byte does no I/O: the result tells the caller what happened, and
// after Frame the frame stays in RawFrame until the next byte is fed.
#pragma once

#include <cstdint>

#include "kiss.h"

namespace quillon {

enum class Assembled {
    Collecting,  // the byte belongs to an open frame
    Idle,        // the byte was outside any frame and was dropped
    Frame,       // the byte closed a frame of 3 or more bytes
    Dropped,     // the frame outgrew the buffer and was dropped
    Discarded,   // the byte belonged to the frame dropped last
};

// Back to Idle, as at start-up.
void ResetFrameAssembly(ReceiveState& rx);

Assembled AssembleByte(ReceiveState& rx, std::uint8_t b);

// Whether the result ends with the assembler idle; the caller then notes the
// time of the last frame end or of the byte outside a frame.
inline bool EndsIdle(Assembled a) { return a != Assembled::Collecting; }

}  // namespace quillon
