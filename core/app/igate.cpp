#include "igate.h"

#include <algorithm>
#include <array>
#include <span>

#include "app.h"
#include "aprs/aprs.h"
#include "decoder/frame_aprs.h"
#include "decoder/frame_report.h"

namespace quillon {

namespace {

constexpr std::array<std::string_view, 4> kNotGated = {"TCPIP", "TCPXX", "NOGATE", "RFONLY"};
constexpr std::array<std::string_view, 2> kNotGatedInside = {"TCPIP", "TCPXX"};

// A path entry names one of `calls`, whatever its SSID and "*".
bool Names(std::string_view entry, std::span<const std::string_view> calls)
{
    entry = entry.substr(0, entry.find_first_of("-*"));
    return std::find(calls.begin(), calls.end(), entry) != calls.end();
}

// Up to the first CR or LF.
std::string_view FirstLine(std::string_view payload) { return payload.substr(0, payload.find_first_of("\r\n")); }

// Calls that APRS-IS can carry: printable, no blank.
bool Printable(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

std::string Line(std::string address, std::string_view igateCall, std::string_view payload)
{
    address.append(",qAO,").append(igateCall).append(":").append(payload).append("\r\n");
    return address;
}

// A third-party packet's inside, "SRC>DST,PATH:payload": the header as the
// APRS decoder read it, each path entry as written but for a "*" before the
// last.
std::optional<std::string> InnerLine(const AprsPacket& inner, const char* payloadEnd, std::string_view igateCall)
{
    for (const std::string_view entry : inner.path)
        if (Names(entry, kNotGatedInside))
            return std::nullopt;
    std::string address = std::string(inner.source) + ">" + std::string(inner.destination);
    const auto lastRepeated =
        std::find_if(inner.path.rbegin(), inner.path.rend(), [](std::string_view e) { return e.ends_with('*'); });
    for (auto entry = inner.path.begin(); entry != inner.path.end(); ++entry) {
        std::string_view call = *entry;
        if (call.ends_with('*') && entry != lastRepeated.base() - 1)
            call.remove_suffix(1);
        address.append(",").append(call);
    }
    // The payload follows the header's ":" (the decoder's views are into the
    // frame's payload).
    const std::string_view last = inner.path.empty() ? inner.destination : inner.path.back();
    const char* colon = last.data() + last.size();
    const std::string_view payload = FirstLine(std::string_view(colon + 1, payloadEnd));
    if (payload.empty() || payload[0] == '?' || !Printable(address))
        return std::nullopt;
    return Line(std::move(address), igateCall, payload);
}

}  // namespace

std::string IgateLoginLine(const IgateLogin& login)
{
    std::string line = "user " + login.call + " pass " + (login.passcode.empty() ? "-1" : login.passcode) +
                       " vers Quillon " + kVersionText;
    if (!login.filter.empty())
        line += " filter " + login.filter;
    return line + "\r\n";
}

bool IsReadOnly(const IgateLogin& login) { return login.passcode.empty() || login.passcode == "-1"; }

// A generic query ("?" first) asks the stations in reach: never for the
// network. A directed one, inside a message, is a message like any other.
std::optional<std::string> IgateLine(const DecoderState& dec, std::string_view igateCall)
{
    if (dec.DecodedFrameLength < 3 || (dec.DecodedFrame[2] & 0x0F) != 0)  // a KISS data frame
        return std::nullopt;
    if ((dec.ControlByte & 0xEF) != 0x03 || dec.PidByte != 0xF0)
        return std::nullopt;
    for (int slot = 1; slot <= dec.DigipeaterCount && slot <= kMaxDigipeaters; ++slot)
        if (Names(dec.DigipeaterCalls[static_cast<std::size_t>(slot)], kNotGated))
            return std::nullopt;
    const std::optional<AprsPacket> packet = DecodeAprsFrame(dec, {});
    if (!packet)
        return std::nullopt;
    const std::span<const std::uint8_t> bytes = PayloadOf(dec);
    const std::string_view whole(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (packet->type == AprsType::ThirdParty)
        return packet->inner ? InnerLine(*packet->inner, whole.data() + whole.size(), igateCall) : std::nullopt;
    const std::string_view payload = FirstLine(whole);
    std::string address = Tnc2Address(dec);
    if (payload.empty() || payload[0] == '?' || !Printable(address))
        return std::nullopt;
    return Line(std::move(address), igateCall, payload);
}

}  // namespace quillon
