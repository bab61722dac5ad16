// The KISS escape sequences in the frames that come over the line.
#pragma once

#include "app/app.h"
#include "tnc/tnc.h"

namespace quillon {

// Adds the escape sequences of the frame in RawFrame, as received, to
// TfescCount (FESC TFESC, DB DD: an FESC in the data) and TfendCount
// (FESC TFEND, DB DC: an FEND in the data). A sequence is the two bytes side
// by side; a lone TFEND or TFESC is an ordinary byte, and an FESC followed by
// anything else escapes nothing. Raw and decoded frames count alike.
//   C0 00 41 DB DC 42 DB DD C0   ->  1 TFESC, 1 TFEND
//   C0 00 DB DB DD C0            ->  1 TFESC
void CountKissEscapes(const ReceiveState& rx, Counters& counters);

}  // namespace quillon
