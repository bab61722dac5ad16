// The colours of the console and the runs of coloured text written to it.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// A colour is either RGB as 0x00BBGGRR or a system colour 0x80000000 plus a
// user-interface colour index, resolved when the text is drawn.
namespace colour {
inline constexpr std::uint32_t Black = 0x000000;
inline constexpr std::uint32_t Grey = 0x808080;
inline constexpr std::uint32_t Red = 0x0000FF;
inline constexpr std::uint32_t Green = 0x008000;
inline constexpr std::uint32_t Blue = 0xFF0000;
inline constexpr std::uint32_t Purple = 0x800080;          // the APRS line
inline constexpr std::uint32_t DisabledText = 0x80000011;  // system colour 17
// The program's own: the address line of a watched station, the text colour
// on a highlight of its own.
inline constexpr std::uint32_t WatchedAddress = 0x80000100;
inline constexpr std::uint32_t kSystemColourFlag = 0x80000000;
}  // namespace colour

// One AddText call: a text (CR or LF start a new line) in one colour.
struct ConsoleRun {
    std::string text;
    std::uint32_t colour = colour::Black;
    bool operator==(const ConsoleRun&) const = default;
};

}  // namespace quillon

#include <functional>
#include <string_view>

namespace quillon {

// Appends one line to the status box; the box ends it with CR LF.
using AppendStatusLine = std::function<void(std::string_view line)>;

}  // namespace quillon
