// Builds AX.25 frames, the way a TNC hears them, and SMACK frames: the sample
// traffic generator and the tests make their frames here and wrap them in
// KISS with the core's EncodeKissFrame (kiss/escapes.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kiss/escapes.h"

namespace quillon {

struct Ax25Address {
    std::string callsign;  // up to six characters, padded with blanks
    int ssid = 0;          // 0 to 15
    bool bit7 = false;     // a digipeater's H bit; command/response otherwise
};

struct Ax25Frame {
    Ax25Address destination;
    Ax25Address source;
    std::vector<Ax25Address> digipeaters;
    std::uint8_t control = 0x03;             // UI
    std::optional<std::uint8_t> pid = 0xF0;  // no layer 3
    std::string info;                        // one byte per char
};

// The seven address bytes: the callsign shifted left by one bit, then the
// SSID byte with both reserved bits set and the extension bit on `last`.
void AppendAx25Address(ByteString& out, const Ax25Address& address, bool last);

// Addresses, control byte, PID when there is one, information field.
ByteString EncodeAx25(const Ax25Frame& frame);

// The CRC of a SMACK frame over command byte and data (CRC-16, polynomial
// 0x8005 bit-reversed, start 0), sent low byte first before the closing FEND.
std::uint16_t SmackCrc(std::span<const std::uint8_t> bytes);
// The KISS frame of command 0x80 with the CRC behind the data.
ByteString EncodeSmackFrame(std::span<const std::uint8_t> data);

}  // namespace quillon
