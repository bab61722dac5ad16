// Callsign patterns with wildcards, as the packet list's filter and the watch
// list take them: "N0CALL*" is N0CALL with any SSID (and N0CALLA), "WIDE?-?"
// any WIDEn-N, "*" anyone.
#pragma once

#include <string_view>

namespace quillon {

// Whether `call` ("N0CALL-9") matches `pattern` as a whole: "*" stands for any
// run of characters (none included), "?" for exactly one; every other
// character stands for itself, letters of either case alike. A "*" that marks
// a digipeater which has repeated the frame ("RELAY*" in a via list) is the
// caller's to strip from `call` first.
bool MatchesCallsignPattern(std::string_view pattern, std::string_view call);

}  // namespace quillon
