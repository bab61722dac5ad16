// Bytes as upper-case hexadecimal text, as the frame report, the hex log and
// the status box show them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillon {

// Appends `value` in upper-case hexadecimal digits, at least `minDigits` of
// them (1 or 2): 10 gives "0A", or "A" with one digit; 240 gives "F0".
inline void AppendHex(std::string& text, std::uint8_t value, int minDigits = 2)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (value >= 16 || minDigits >= 2)
        text.push_back(kDigits[value >> 4]);
    text.push_back(kDigits[value & 0x0F]);
}

// Two digits and a blank per byte: "48 65 6C ".
inline void AppendHexBytes(std::string& text, std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t b : bytes) {
        AppendHex(text, b);
        text.push_back(' ');
    }
}

}  // namespace quillon
