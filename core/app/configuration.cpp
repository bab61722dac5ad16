#include "app/configuration.h"

#include <charconv>

#include "text/lines.h"

namespace quillon {

namespace {

std::string_view TrimBlanks(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

std::string* FieldFor(ConfigurationRecord& c, std::string_view key)
{
    struct Entry {
        std::string_view name;
        std::string ConfigurationRecord::*field;
    };
    static constexpr Entry kKeys[] = {
        {"COM_PORT", &ConfigurationRecord::COM_PORT},
        {"COM_SETTINGS", &ConfigurationRecord::COM_SETTINGS},
        {"COM_HANDSHAKING", &ConfigurationRecord::COM_HANDSHAKING},
        {"MIRROR_COM_PORT", &ConfigurationRecord::MIRROR_COM_PORT},
        {"MIRROR_COM_SETTINGS", &ConfigurationRecord::MIRROR_COM_SETTINGS},
        {"MIRROR_COM_HANDSHAKING", &ConfigurationRecord::MIRROR_COM_HANDSHAKING},
        {"TIMESERVER", &ConfigurationRecord::TIMESERVER},
        {"KISS_TCP", &ConfigurationRecord::KISS_TCP},
        {"TIMEFRAMES", &ConfigurationRecord::TIMEFRAMES},
        {"HEXFILE", &ConfigurationRecord::HEXFILE},
        {"MIRROR", &ConfigurationRecord::MIRROR},
        {"LOG_ROTATE", &ConfigurationRecord::LOG_ROTATE},
        {"JSONFILE", &ConfigurationRecord::JSONFILE},
    };
    for (const Entry& e : kKeys)
        if (e.name == key)
            return &(c.*e.field);
    return nullptr;
}

// A host as KISS_TCP may give it: no blanks or control characters, nothing
// that belongs to the notation around it.
bool IsHostText(std::string_view host)
{
    if (host.empty())
        return false;
    for (const char c : host)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || c == '[' || c == ']' || c == '/')
            return false;
    return true;
}

std::optional<std::uint16_t> ParseTcpPort(std::string_view field)
{
    std::uint32_t n = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), n);
    if (field.empty() || error != std::errc() || end != field.data() + field.size() || n < 1 || n > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(n);
}

}  // namespace

std::optional<std::int16_t> ParsePortNumber(std::string_view field)
{
    std::int16_t n = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), n);
    if (error != std::errc() || end != field.data() + field.size() || n < 1)
        return std::nullopt;
    return n;
}

std::optional<TcpAddress> ParseKissTcp(std::string_view field)
{
    std::string_view host = field;
    std::string_view rest;  // ":PORT" or nothing
    if (field.starts_with('[')) {
        const auto close = field.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = field.substr(1, close - 1);
        rest = field.substr(close + 1);
        if (host.find(':') == std::string_view::npos || (!rest.empty() && !rest.starts_with(':')))
            return std::nullopt;
    } else if (const auto colon = field.find(':'); colon != std::string_view::npos) {
        host = field.substr(0, colon);
        rest = field.substr(colon);
        if (rest.find(':', 1) != std::string_view::npos)  // an IPv6 address needs its brackets
            return std::nullopt;
    }
    if (!IsHostText(host))
        return std::nullopt;
    TcpAddress address{std::string(host), kKissTcpDefaultPort};
    if (!rest.empty()) {
        const auto port = ParseTcpPort(rest.substr(1));
        if (!port)
            return std::nullopt;
        address.port = *port;
    }
    return address;
}

std::string FormatTcpAddress(const TcpAddress& address)
{
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::string KissTcpRefusedLine(std::string_view field)
{
    return "KISS_TCP=" + std::string(field) + " not understood (HOST or HOST:PORT, port 1 to 65535)";
}

ConfigurationRecord ParseConfiguration(std::string_view text)
{
    ConfigurationRecord config;
    for (std::string_view raw : SplitLines(text)) {
        const std::string line = UpperCase(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string_view view(line);
        if (std::string* field = FieldFor(config, TrimBlanks(view.substr(0, equals))))
            *field = std::string(TrimBlanks(view.substr(equals + 1)));
    }
    return config;
}

}  // namespace quillon
