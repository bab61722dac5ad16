#include "support/kiss_frames.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace quillon::test {

std::string Ax25Address(std::string_view callsign, bool last)
{
    const auto dash = callsign.find('-');
    const std::string_view call = callsign.substr(0, dash);
    const int ssid = dash == std::string_view::npos ? 0 : std::stoi(std::string(callsign.substr(dash + 1)));
    if (call.size() > 6 || ssid < 0 || ssid > 15)
        throw std::invalid_argument("bad callsign " + std::string(callsign));
    std::string out;
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = i < call.size() ? call[i] : ' ';
        out.push_back(static_cast<char>(static_cast<unsigned char>(c) << 1));
    }
    out.push_back(static_cast<char>(0x60 | (ssid << 1) | (last ? 1 : 0)));
    return out;
}

std::string Ax25UiFrame(std::string_view destination, std::string_view source,
                        const std::vector<std::string>& digipeaters, std::string_view info)
{
    std::string frame = Ax25Address(destination, false);
    frame += Ax25Address(source, digipeaters.empty());
    for (std::size_t i = 0; i < digipeaters.size(); ++i)
        frame += Ax25Address(digipeaters[i], i + 1 == digipeaters.size());
    frame += '\x03';
    frame += '\xF0';
    frame += info;
    return frame;
}

std::string KissFrame(std::string_view contents, std::uint8_t command)
{
    std::string out("\xC0");
    out.push_back(static_cast<char>(command));
    for (const char c : contents) {
        if (c == '\xC0')
            out += "\xDB\xDC";
        else if (c == '\xDB')
            out += "\xDB\xDD";
        else
            out.push_back(c);
    }
    out += '\xC0';
    return out;
}

std::string Bytes(std::string_view hex)
{
    std::string out;
    std::string digits;
    for (const char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        digits.push_back(c);
        if (digits.size() == 2) {
            out.push_back(static_cast<char>(std::stoi(digits, nullptr, 16)));
            digits.clear();
        }
    }
    return out;
}

std::string Hex(std::string_view bytes)
{
    std::string out;
    char buf[4];
    for (const char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(c));
        if (!out.empty())
            out += ' ';
        out += buf;
    }
    return out;
}

}  // namespace quillon::test
