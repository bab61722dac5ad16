// quillon.ini: KEY=VALUE lines, read once at start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/app.h"

namespace quillon {

// Reads the configuration from the file's text. Every line is upper-cased;
// an empty line or one with "#" in the first column is skipped, and so is a
// line without "=". The key is the text before the first "=", the value the
// rest, both trimmed of blanks (tabs stay). A known key's last occurrence
// wins; unknown keys are ignored.
ConfigurationRecord ParseConfiguration(std::string_view text);

// A COM port number field: a whole number from 1 to 32767, nothing else.
std::optional<std::int16_t> ParsePortNumber(std::string_view field);

// The KISS server that KISS_TCP names.
struct TcpAddress {
    std::string host;  // a name or an address; an IPv6 address without its brackets
    std::uint16_t port = 0;
    bool operator==(const TcpAddress&) const = default;
};

// The port of a KISS server when KISS_TCP names none: Dire Wolf's and most
// soundcard modems' default.
inline constexpr std::uint16_t kKissTcpDefaultPort = 8001;

// A KISS_TCP field: "HOST:PORT" or "HOST", an IPv6 address in brackets,
// "[::1]:8001" or "[::1]"; the port a whole number from 1 to 65535, 8001
// when left out. Nothing for an empty field or one that is none of these
// (a host with a blank, a bare IPv6 address, a port out of range).
std::optional<TcpAddress> ParseKissTcp(std::string_view field);

// As the status lines and the input label name the server: "HOST:PORT",
// "[::1]:8001".
std::string FormatTcpAddress(const TcpAddress& address);

// The status line of a KISS_TCP field that ParseKissTcp refuses.
std::string KissTcpRefusedLine(std::string_view field);

}  // namespace quillon
