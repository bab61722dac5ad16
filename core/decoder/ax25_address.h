// The AX.25 address field: destination, source and up to nine digipeaters,
// seven bytes each, from position 3 of the un-escaped frame.
#pragma once

#include <string>

#include "decoder.h"

namespace quillon {

// Reads the addresses into DestinationCall, SourceCall and the digipeater
// slots, and returns the position of the control byte behind the field:
// 17 without digipeaters, 17 + 7 per digipeater read, at most 80.
int DecodeAddressField(DecoderState& dec);

// "A,B*": the digipeaters as the address line shows them, empty without.
std::string ViaText(const DecoderState& dec);

// "DESTINATION" or "DESTINATION via A,B*": where the frame went and by which
// digipeaters, as the address line shows it.
std::string RouteText(const DecoderState& dec);

// "from SOURCE to DESTINATION: " or "from SOURCE to DESTINATION via A,B*: ".
void BuildAddressText(DecoderState& dec);

}  // namespace quillon
