// The 8-bit code page of the console and the logs.
#pragma once

#include <cstdint>

namespace quillon {

// The character of a byte in Windows-1252 (0x80 is the euro sign). The five
// bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map as in Latin-1, to the code point of the same value.
char16_t Windows1252ToUnicode(std::uint8_t byte);

}  // namespace quillon
