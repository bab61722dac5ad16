#include "pcap_writer.h"

#include <algorithm>
#include <limits>

namespace quillon {

namespace {

constexpr std::uint32_t kMagicMicroseconds = 0xA1B2C3D4;

void Put16(std::string& out, std::uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

}  // namespace

std::string PcapFileHeader(std::uint32_t linkType)
{
    std::string out;
    Put32(out, kMagicMicroseconds);
    Put16(out, 2);  // version 2.4
    Put16(out, 4);
    Put32(out, 0);  // the times are UTC
    Put32(out, 0);  // accuracy of the times, unused
    Put32(out, kPcapSnapLength);
    Put32(out, linkType);
    return out;
}

void AppendPcapRecord(std::string& out, std::chrono::system_clock::time_point time,
                      std::span<const std::uint8_t> packet)
{
    using namespace std::chrono;
    constexpr long long kLastSecond = std::numeric_limits<std::uint32_t>::max();
    const long long micros = duration_cast<microseconds>(time.time_since_epoch()).count();
    long long seconds = micros >= 0 ? micros / 1000000 : (micros - 999999) / 1000000;
    long long fraction = micros - seconds * 1000000;
    if (seconds < 0 || seconds > kLastSecond) {
        seconds = std::clamp(seconds, 0LL, kLastSecond);
        fraction = seconds == 0 ? 0 : 999999;
    }
    const auto length = static_cast<std::uint32_t>(packet.size());
    Put32(out, static_cast<std::uint32_t>(seconds));
    Put32(out, static_cast<std::uint32_t>(fraction));
    Put32(out, length);  // bytes stored
    Put32(out, length);  // bytes the packet had
    out.append(reinterpret_cast<const char*>(packet.data()), packet.size());
}

}  // namespace quillon
