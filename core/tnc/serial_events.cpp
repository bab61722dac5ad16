#include "serial_events.h"

namespace quillon {

std::optional<std::string_view> SerialEventLine(int code)
{
    using namespace line_event;
    switch (code) {
    case TransmitBufferSend: return "There are characters in the transmit buffer.";
    case CtsChange: return "Change in the CTS line.";
    case DsrChange: return "Change in the DSR line.";
    case CdChange: return "Change in the CD line.";
    case Ring: return "Ring Indicator";
    case Break: return "A Break was received.";
    case CtsTimeout: return "CTS Timeout.";
    case DsrTimeout: return "DSR Timeout.";
    case FramingError: return "Framing Error";
    case Overrun: return "Data Lost";
    case CdTimeout: return "CD (RLSD) Timeout.";
    case ReceiveBufferOverflow: return "Receive Buffer Overflow";
    case ParityError: return "Parity Error";
    case TransmitBufferFull: return "Transmit Buffer full";
    case DcbError: return "Unexpected error retrieving DCB";
    default: return std::nullopt;
    }
}

std::string LinkLostLine(std::string_view link, std::string_view reason)
{
    return std::string(link) + " lost: " + std::string(reason);
}

std::string LinkReopenedLine(std::string_view link) { return std::string(link) + " reopened"; }

std::string LinkConnectedLine(std::string_view link) { return std::string(link) + " connected"; }

std::string LinkReconnectingLine(std::string_view link, int tries)
{
    return std::string(link) + " reconnecting (" + std::to_string(tries) + " tries)";
}

}  // namespace quillon
