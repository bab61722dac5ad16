#include "ax25_encoder.h"

namespace quillon {

namespace {
constexpr std::uint8_t kSmackCommand = 0x80;
}  // namespace

void AppendAx25Address(ByteString& out, const Ax25Address& address, bool last)
{
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = i < address.callsign.size() ? address.callsign[i] : ' ';
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) << 1));
    }
    std::uint8_t ssidByte = 0x60 | static_cast<std::uint8_t>((address.ssid & 0x0F) << 1);
    if (address.bit7)
        ssidByte |= 0x80;
    if (last)
        ssidByte |= 0x01;
    out.push_back(ssidByte);
}

ByteString EncodeAx25(const Ax25Frame& frame)
{
    ByteString out;
    out.reserve(16 + 7 * frame.digipeaters.size() + 2 + frame.info.size());
    AppendAx25Address(out, frame.destination, false);
    AppendAx25Address(out, frame.source, frame.digipeaters.empty());
    for (std::size_t i = 0; i < frame.digipeaters.size(); ++i)
        AppendAx25Address(out, frame.digipeaters[i], i + 1 == frame.digipeaters.size());
    out.push_back(frame.control);
    if (frame.pid)
        out.push_back(*frame.pid);
    out.insert(out.end(), frame.info.begin(), frame.info.end());
    return out;
}

std::uint16_t SmackCrc(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

ByteString EncodeSmackFrame(std::span<const std::uint8_t> data)
{
    ByteString body;
    body.reserve(data.size() + 3);
    body.push_back(kSmackCommand);
    body.insert(body.end(), data.begin(), data.end());
    const std::uint16_t crc = SmackCrc(body);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return EncodeKissFrame(kSmackCommand, std::span(body).subspan(1));
}

}  // namespace quillon
