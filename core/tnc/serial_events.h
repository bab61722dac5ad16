// The status-box lines of the serial ports' line and error events.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The codes of a link's line and error events (Link::LineEvent). The
// numbers are those that users know from other serial terminal programs;
// 2, bytes received, is no event here but the receive path.
namespace line_event {
inline constexpr int TransmitBufferSend = 1;
inline constexpr int CtsChange = 3;
inline constexpr int DsrChange = 4;
inline constexpr int CdChange = 5;
inline constexpr int Ring = 6;
inline constexpr int Break = 1001;
inline constexpr int CtsTimeout = 1002;
inline constexpr int DsrTimeout = 1003;
inline constexpr int FramingError = 1004;
inline constexpr int Overrun = 1006;
inline constexpr int CdTimeout = 1007;
inline constexpr int ReceiveBufferOverflow = 1008;
inline constexpr int ParityError = 1009;
inline constexpr int TransmitBufferFull = 1010;
inline constexpr int DcbError = 1011;
}  // namespace line_event

// The line that an event code puts into the status box (without CR LF);
// nothing for 2, which is the receive path, and for any code not in the
// table. Both ports share the table.
std::optional<std::string_view> SerialEventLine(int code);

// The lines of a link whose device went away, with the system's reason, and
// of its return: "COM 1 lost: Input/output error", "COM 1 reopened". A
// network link says "connected" instead, the first time too:
// "LOCALHOST:8001 connected".
std::string LinkLostLine(std::string_view link, std::string_view reason);
std::string LinkReopenedLine(std::string_view link);
std::string LinkConnectedLine(std::string_view link);
// A link that backs off, still away after `tries` tries since its loss was
// said: "LOCALHOST:8001 reconnecting (5 tries)".
std::string LinkReconnectingLine(std::string_view link, int tries);

}  // namespace quillon
