// Builders of KISS frames that carry AX.25 UI frames, as a TNC sends them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::test {

// One AX.25 address, "CALL" or "CALL-SSID".
std::string Ax25Address(std::string_view callsign, bool last);

// An AX.25 UI frame (control 0x03, PID 0xF0) without any KISS framing.
std::string Ax25UiFrame(std::string_view destination, std::string_view source,
                        const std::vector<std::string>& digipeaters, std::string_view info);

// FEND, the command byte, the escaped contents, FEND.
std::string KissFrame(std::string_view contents, std::uint8_t command = 0x00);

// Bytes of a hexadecimal text such as "C0 41 C0" (blanks ignored).
std::string Bytes(std::string_view hex);

// "C0 41 C0": a short hexadecimal text for failure messages.
std::string Hex(std::string_view bytes);

}  // namespace quillon::test
