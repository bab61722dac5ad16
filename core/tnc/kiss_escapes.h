// The KISS escape sequences in the frames that come over the line.
#pragma once

#include "tnc/tnc.h"

namespace quillon {

struct EscapeCounts {
    std::uint32_t tfesc = 0;  // FESC TFESC, DB DD: an FESC in the data
    std::uint32_t tfend = 0;  // FESC TFEND, DB DC: an FEND in the data
};

// Counts the escape sequences of the frame in RawFrame, as received. A sequence is the two bytes side
// by side; a lone TFEND or TFESC is an ordinary byte, and an FESC followed by
// anything else escapes nothing. Raw and decoded frames count alike.
//   C0 00 41 DB DC 42 DB DD C0   ->  1 TFESC, 1 TFEND
//   C0 00 DB DB DD C0            ->  1 TFESC
EscapeCounts CountKissEscapes(const ReceiveState& rx);

}  // namespace quillon
