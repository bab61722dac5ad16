#include "frame_aprs.h"

#include <algorithm>
#include <array>

#include "frame_bytes.h"
#include "frame_report.h"

namespace quillon {

namespace {

constexpr int kFirstAddressPosition = 3;
constexpr int kAddressLength = 7;

}  // namespace

bool HeaderIsWhole(const DecoderState& dec)
{
    const int lastByte = dec.DecodedFrameLength - 1;  // the closing FEND behind it
    for (int address = 0; address < 2 + kMaxDigipeaters; ++address) {
        const int ssidPosition = kFirstAddressPosition + kAddressLength * address + kAddressLength - 1;
        if (ssidPosition > lastByte)
            return false;
        if (FrameByteOr(dec, ssidPosition, kMissingSsidByte) & 0x01)
            return address >= 1 && ssidPosition + 1 <= lastByte;  // a source, and the control byte
    }
    return false;
}

std::optional<AprsPacket> DecodeAprsFrame(const DecoderState& dec, std::chrono::system_clock::time_point time)
{
    if (!dec.PidByte || !HeaderIsWhole(dec))
        return std::nullopt;
    std::array<AprsDigipeater, kMaxDigipeaters> digipeaters;
    const int count = std::min(dec.DigipeaterCount, kMaxDigipeaters);
    for (int slot = 1; slot <= count; ++slot) {
        const std::string_view call = dec.DigipeaterCalls[static_cast<std::size_t>(slot)];
        const bool repeated = dec.DigipeaterRepeated[static_cast<std::size_t>(slot)];
        digipeaters[static_cast<std::size_t>(slot - 1)] = {repeated ? call.substr(0, call.size() - 1) : call, repeated};
    }
    return DecodeAprs({.source = dec.SourceCall,
                       .destination = dec.DestinationCall,
                       .digipeaters = std::span(digipeaters).first(static_cast<std::size_t>(count)),
                       .control = dec.ControlByte,
                       .pid = dec.PidByte,
                       .payload = PayloadOf(dec),
                       .time = time});
}

std::string Tnc2Address(const DecoderState& dec)
{
    std::string line;
    line.reserve(dec.SourceCall.size() + dec.DestinationCall.size() + 11 * std::size_t(dec.DigipeaterCount) + 2);
    line.append(dec.SourceCall).push_back('>');
    line.append(dec.DestinationCall);
    int lastRepeated = 0;
    for (int slot = 1; slot <= dec.DigipeaterCount && slot <= kMaxDigipeaters; ++slot) {
        if (dec.DigipeaterRepeated[static_cast<std::size_t>(slot)])
            lastRepeated = slot;
    }
    for (int slot = 1; slot <= dec.DigipeaterCount && slot <= kMaxDigipeaters; ++slot) {
        std::string_view call = dec.DigipeaterCalls[static_cast<std::size_t>(slot)];
        if (dec.DigipeaterRepeated[static_cast<std::size_t>(slot)])
            call.remove_suffix(1);  // the console's "*"
        if (call.empty())
            continue;
        line.append(",").append(call);
        if (slot == lastRepeated)
            line.push_back('*');
    }
    return line;
}

std::string Tnc2Line(const DecoderState& dec)
{
    const std::span<const std::uint8_t> payload = PayloadOf(dec);
    std::string line = Tnc2Address(dec);
    line.push_back(':');
    line.append(reinterpret_cast<const char*>(payload.data()), payload.size());
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, '.');
    return line;
}

}  // namespace quillon
