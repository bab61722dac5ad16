// A receive-only igate: what this station hears, passed on to the APRS-IS
// network as TNC2 text lines, by the rules APRS-IS sets for igates. This
// station never transmits, so it logs in as a receive-only igate and marks
// what it gates qAO.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decoder/decoder.h"

namespace quillon {

inline constexpr std::uint16_t kIgateDefaultPort = 14580;

// The igate's own settings (IGATE_CALL, IGATE_PASSCODE, IGATE_FILTER).
struct IgateLogin {
    std::string call;      // "N0CALL-10"
    std::string passcode;  // "12345"; "" or "-1": a read-only login
    std::string filter;    // "" for none; as written
    bool operator==(const IgateLogin&) const = default;
};

// "user N0CALL-10 pass 12345 vers Quillon 8.5 filter r/60/25/50\r\n"; a
// passcode left out is sent as -1.
std::string IgateLoginLine(const IgateLogin& login);

// A read-only login (passcode -1 or none): the servers take nothing from it.
bool IsReadOnly(const IgateLogin& login);

// The line for APRS-IS, CR LF at its end, of a frame heard: nothing when the
// rules keep it off the network. Gated: a KISS data frame holding a UI frame
// with PID F0 and an information field, its path free of TCPIP, TCPXX,
// NOGATE and RFONLY, not a generic query ("?" first); a third-party packet
// ("}") is gated as the packet inside, unless that one's path holds TCPIP or
// TCPXX. The line: "SRC>DST,PATH,qAO,CALL:payload", the "*" only behind the
// last digipeater that repeated the frame, the payload's bytes as received up
// to the first CR or LF.
std::optional<std::string> IgateLine(const DecoderState& dec, std::string_view igateCall);

}  // namespace quillon
