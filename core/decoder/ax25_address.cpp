#include "ax25_address.h"

#include <charconv>

#include "frame_bytes.h"

namespace quillon {

namespace {

constexpr int kAddressLength = 7;
constexpr int kDestinationPosition = 3;
constexpr int kSourcePosition = 10;
constexpr int kFirstDigipeaterPosition = 17;

// The seventh byte of an address, the SSID byte:
//
//    bit   7     6   5    4   3   2   1    0
//        +-----+-------+---------------+-----+
//        | H/C |  R R  |  SSID 0..15   |  E  |
//        +-----+-------+---------------+-----+
//
//   E    extension bit, 1 on the last address of the field
//   R R  reserved, ignored
//   H/C  for a digipeater the H bit (it has repeated the frame); for
//        destination and source the command/response bit, not used here
constexpr std::uint8_t kExtensionBit = 0x01;
constexpr std::uint8_t kRepeatedBit = 0x80;
int SsidOf(std::uint8_t ssidByte) { return (ssidByte >> 1) & 0x0F; }

struct Address {
    int ssid;
    bool last;      // extension bit
    bool repeated;  // bit 7
};

// Appends the callsign at `position` (six characters shifted left by one bit,
// blank-padded) without any of its blanks, then "-SSID" unless the SSID is 0.
Address ReadAddress(const DecoderState& dec, int position, std::string& text)
{
    text.clear();
    for (int i = 0; i < 6; ++i) {
        const char c = static_cast<char>(FrameByteOr(dec, position + i, kMissingCallsignByte) >> 1);
        if (c != ' ')
            text.push_back(c);
    }
    const std::uint8_t ssidByte = FrameByteOr(dec, position + 6, kMissingSsidByte);
    const Address address{SsidOf(ssidByte), (ssidByte & kExtensionBit) != 0, (ssidByte & kRepeatedBit) != 0};
    if (address.ssid != 0) {
        char digits[4];
        const auto end = std::to_chars(digits, digits + sizeof digits, address.ssid).ptr;
        text.push_back('-');
        text.append(digits, static_cast<std::size_t>(end - digits));
    }
    return address;
}

}  // namespace

int DecodeAddressField(DecoderState& dec)
{
    ReadAddress(dec, kDestinationPosition, dec.DestinationCall);
    bool last = ReadAddress(dec, kSourcePosition, dec.SourceCall).last;

    int position = kFirstDigipeaterPosition;
    for (int slot = 1; !last && slot <= kMaxDigipeaters; ++slot) {
        std::string& text = dec.DigipeaterCalls[static_cast<std::size_t>(slot)];
        const Address digi = ReadAddress(dec, position, text);
        if (digi.repeated)
            text.push_back('*');
        dec.DigipeaterSsids[static_cast<std::size_t>(slot)] = digi.ssid;
        dec.DigipeaterRepeated[static_cast<std::size_t>(slot)] = digi.repeated;
        dec.DigipeaterCount = slot;
        last = digi.last;
        position += kAddressLength;
    }
    return position;
}

std::string ViaText(const DecoderState& dec)
{
    std::string text;
    // An empty first slot hides the whole via list, even when later slots
    // hold digipeaters.
    if (dec.DigipeaterCalls[1].empty())
        return text;
    for (int slot = 1; slot <= kMaxDigipeaters; ++slot) {
        const std::string& call = dec.DigipeaterCalls[static_cast<std::size_t>(slot)];
        if (call.empty())
            continue;
        if (!text.empty())
            text.push_back(',');
        text.append(call);
    }
    return text;
}

std::string RouteText(const DecoderState& dec)
{
    const std::string via = ViaText(dec);
    return via.empty() ? dec.DestinationCall : dec.DestinationCall + " via " + via;
}

void BuildAddressText(DecoderState& dec)
{
    dec.AddressText = "from " + dec.SourceCall + " to " + RouteText(dec) + ": ";
}

}  // namespace quillon
