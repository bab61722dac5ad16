// The packet list's filter: the text the user types above the list, parsed
// once into terms that a PacketStore evaluates row by row.
//
//   from:N0CALL*   the source matches the callsign pattern
//   to:APRS        the destination matches
//   via:WIDE2*     one of the digipeaters matches ("RELAY*" in the via column
//                  is RELAY that has repeated the frame; the "*" is not part
//                  of the call)
//   port:1         the KISS port, 0 to 15
//   type:UI        the control field's name: I, RR, RNR, REJ, SREJ, SABM,
//                  SABME, DISC, DM, UA, FRMR, UI, XID, TEST, UNKNOWN
//   aprs:message   an APRS packet of that type (position, object, item,
//                  message, ack, reject, bulletin, status, weather, telemetry,
//                  telemetry-meta, query, capabilities, third-party,
//                  user-defined, unknown); "aprs:*" any APRS packet
//   word           the word appears in the from, to or via call or in the
//                  payload text, letters of either case alike
//   "two words"    the same for a text with blanks
//   -term          excludes the rows the term matches
//
// Keys and values are read in either case. Several terms must all hold:
// "from:N0CALL* aprs:message" is N0CALL's messages, "-from:N0CALL* -to:ID"
// everything but N0CALL's frames and identifications. An empty filter lets
// every row through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct FilterTerm {
    enum class Key : std::uint8_t { Word, From, To, Via, Port, Type, Aprs };
    Key key = Key::Word;
    bool exclude = false;  // "-term"
    // A callsign pattern or a control field name in upper case; a word in
    // lower case (Windows-1252); empty for a port or an APRS type.
    std::string value;
    // The port; the AprsType as a number, or -1 for "aprs:*".
    int number = 0;
};

struct PacketFilter {
    std::vector<FilterTerm> terms;  // all must hold
    bool Empty() const { return terms.empty(); }
};

// What the filter box reads: the filter, or why a term cannot be one:
// "unknown key \"foo\" in foo:x", "port takes 0 to 15: port:16",
// "unknown APRS type: aprs:mesage", "unknown frame type: type:XX",
// "nothing after the colon: from:", "unclosed quote: \"two words".
struct FilterParse {
    std::optional<PacketFilter> filter;  // none when there is an error
    std::string error;
};

FilterParse ParsePacketFilter(std::string_view text);

// The name of a control byte's frame type, as the Type column shows it and
// type: takes it: the mnemonic of the frame report's control line without
// sequence numbers and poll/final mark ("I", "RR", "UI", "SABM", "UNKNOWN").
std::string_view ControlFieldName(std::uint8_t control);

}  // namespace quillon
