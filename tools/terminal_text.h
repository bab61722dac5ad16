// Console runs as text for a terminal: one console line per output line,
// colours as ANSI escapes, the 8-bit characters as UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/console.h"

namespace quillon {

// The escape that starts a console colour on a terminal: the basic colours
// nearest to the console's, black as the terminal's own text colour (empty),
// and the disabled-text grey of the separator as dim grey.
std::string_view AnsiColour(std::uint32_t colour);

// Appends the run to `out`. CR and LF become a newline; other control
// characters, which only a malformed callsign can carry, become "."; bytes
// from 0x80 are written as UTF-8 of their Windows-1252 character. With
// `colour` every non-empty piece of a line is wrapped in its colour escape
// and a reset, so no colour runs across a line end.
void AppendTerminalText(std::string& out, const ConsoleRun& run, bool colour);

}  // namespace quillon
