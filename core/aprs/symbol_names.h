// What an APRS symbol shows, in a word or two: "car" for "/>".
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The name of the symbol `code` of the primary table ('/') or of the
// alternate table ('\\', or an overlay character 0-9, A-Z, a-j that the
// alternate symbol is drawn with); "" for a code without a name (reserved,
// unassigned or not a symbol at all).
std::string_view AprsSymbolName(char table, char code);

// The symbol as a list shows it: its two characters, then its name when it
// has one: "/> car", "S# digipeater", "/D"; "" for no symbol (code 0).
std::string AprsSymbolText(char table, char code);

}  // namespace quillon
