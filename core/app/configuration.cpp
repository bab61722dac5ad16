#include "configuration.h"

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

// The keys as written, before they are read as what they mean.
struct Fields {
    std::string COM_PORT, COM_SETTINGS, COM_HANDSHAKING;
    std::string MIRROR_COM_PORT, MIRROR_COM_SETTINGS, MIRROR_COM_HANDSHAKING;
    std::string TIMESERVER, KISS_TCP, TIMEFRAMES, HEXFILE, MIRROR, LOG_ROTATE, JSONFILE, APRS, MY_LOCATION;
    std::string KISS_PORTS;
};

std::string* FieldFor(Fields& c, std::string_view key)
{
    struct Entry {
        std::string_view name;
        std::string Fields::*field;
    };
    static constexpr Entry kKeys[] = {
        {"COM_PORT", &Fields::COM_PORT},
        {"COM_SETTINGS", &Fields::COM_SETTINGS},
        {"COM_HANDSHAKING", &Fields::COM_HANDSHAKING},
        {"MIRROR_COM_PORT", &Fields::MIRROR_COM_PORT},
        {"MIRROR_COM_SETTINGS", &Fields::MIRROR_COM_SETTINGS},
        {"MIRROR_COM_HANDSHAKING", &Fields::MIRROR_COM_HANDSHAKING},
        {"TIMESERVER", &Fields::TIMESERVER},
        {"KISS_TCP", &Fields::KISS_TCP},
        {"TIMEFRAMES", &Fields::TIMEFRAMES},
        {"HEXFILE", &Fields::HEXFILE},
        {"MIRROR", &Fields::MIRROR},
        {"LOG_ROTATE", &Fields::LOG_ROTATE},
        {"JSONFILE", &Fields::JSONFILE},
        {"APRS", &Fields::APRS},
        {"MY_LOCATION", &Fields::MY_LOCATION},
        {"KISS_PORTS", &Fields::KISS_PORTS},
    };
    for (const Entry& e : kKeys)
        if (e.name == key)
            return &(c.*e.field);
    return nullptr;
}

bool IsOn(const std::string& field) { return field == "YES"; }

// A COM port number field: a whole number from 1 to 32767, nothing else.
std::optional<std::int16_t> ParsePortNumber(std::string_view field)
{
    std::int16_t n = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), n);
    if (error != std::errc() || end != field.data() + field.size() || n < 1)
        return std::nullopt;
    return n;
}

SerialLinkSettings SerialLinkFrom(const std::string& port, const std::string& line, const std::string& handshaking)
{
    return {ParsePortNumber(port), ParseSerialSettings(line), IsOn(handshaking), port, line, handshaking};
}

std::string SerialLinkLabel(const char* leadingText, const SerialLinkSettings& link)
{
    return leadingText + link.portText + ", " + link.lineText + "," + link.handshakingText + ")";
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

Settings ParseSettings(std::string_view text)
{
    Fields f;
    for (std::string_view raw : SplitLines(text)) {
        const std::string line = UpperCase(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string_view view(line);
        if (std::string* field = FieldFor(f, TrimBlanks(view.substr(0, equals))))
            *field = std::string(TrimBlanks(view.substr(equals + 1)));
    }
    Settings s;
    s.input = SerialLinkFrom(f.COM_PORT, f.COM_SETTINGS, f.COM_HANDSHAKING);
    s.mirror = SerialLinkFrom(f.MIRROR_COM_PORT, f.MIRROR_COM_SETTINGS, f.MIRROR_COM_HANDSHAKING);
    if (!f.KISS_TCP.empty()) {
        s.kissTcp = ParseKissTcp(f.KISS_TCP);
        if (!s.kissTcp)
            s.kissTcpRefused = f.KISS_TCP;
    }
    s.timeServer = f.TIMESERVER;
    s.timeFrames = IsOn(f.TIMEFRAMES);
    s.hexFile = IsOn(f.HEXFILE);
    s.jsonFile = IsOn(f.JSONFILE);
    s.mirroring = IsOn(f.MIRROR);
    s.dailyLogs = f.LOG_ROTATE == "DAILY";
    s.aprs = IsOn(f.APRS);
    s.myLocation = f.MY_LOCATION;
    s.kissPorts = IsOn(f.KISS_PORTS);
    return s;
}

std::string InputLinkLabel(const Settings& settings)
{
    if (settings.kissTcp)
        return "IN (TCP " + FormatTcpAddress(*settings.kissTcp) + ")";
    return SerialLinkLabel("IN (COM ", settings.input);
}

std::string MirrorLinkLabel(const Settings& settings) { return SerialLinkLabel("OUT (COM ", settings.mirror); }

std::string MirrorInEffectLine(const Settings& settings)
{
    const SerialLinkSettings& m = settings.mirror;
    const std::string port = std::to_string(m.port.value_or(kMirrorPortNumber));
    return "COM " + port + ", " + (m.line ? m.lineText : std::string(kDefaultSerialSettingsText)) + " initialized ";
}

}  // namespace quillon
