// The 8-bit code page of the console and the logs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The character of a byte in Windows-1252 (0x80 is the euro sign). The five
// bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map as in Latin-1, to the code point of the same value.
char16_t Windows1252ToUnicode(std::uint8_t byte);

// Appends one character (not a surrogate) in UTF-8, one to three bytes.
void AppendUtf8(std::string& out, char16_t c);

// Text in the code page as UTF-8, for the terminal, the journal and JSON.
// With `controlsAsDots`, the control codes show as ".", as the console and
// the dump log show them: below 32, 127, and the five bytes that would
// become C1 controls (U+0080-U+009F), which terminals obey and the journal
// takes for binary data. A line stays one plain line whatever came over the
// air.
std::string Windows1252ToUtf8(std::string_view text, bool controlsAsDots = false);

}  // namespace quillon
