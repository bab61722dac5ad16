// Builds AX.25 frames and wraps them in KISS, the way a TNC sends them to the
// program: the sample traffic generator and the tests make their frames here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

using ByteString = std::vector<std::uint8_t>;

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

// FEND, command byte, the data with FEND and FESC escaped, FEND.
ByteString EncodeKissFrame(std::uint8_t command, std::span<const std::uint8_t> data);
void AppendKissEscaped(ByteString& out, std::span<const std::uint8_t> data);

// The CRC of a SMACK frame over command byte and data (CRC-16, polynomial
// 0x8005 bit-reversed, start 0), sent low byte first before the closing FEND.
std::uint16_t SmackCrc(std::span<const std::uint8_t> bytes);
ByteString EncodeSmackFrame(std::span<const std::uint8_t> data);

}  // namespace quillon
