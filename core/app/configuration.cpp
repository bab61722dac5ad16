#include "configuration.h"

#include <charconv>
#include <iterator>

#include "aprs/location.h"
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
    std::string KISS_SERVER, IGATE_CALL, IGATE_PASSCODE, IGATE_SERVER, IGATE_FILTER;
    std::string LOG_KEEP_DAYS;
    std::string SILENCE_WARNING;
    std::string MQTT, MQTT_TOPIC, MQTT_USER, MQTT_PASSWORD;
    std::string KISS_PORTS;
};

// What --check says of a value: what it means, and what is wrong with it
// (nothing when it is right).
struct Meaning {
    std::string meaning;
    std::string problem;
};

Meaning SwitchMeaning(std::string_view value);
Meaning PortMeaning(std::string_view value);
Meaning SerialLineMeaning(std::string_view value);
Meaning TimeServerMeaning(std::string_view value);
Meaning KissTcpMeaning(std::string_view value);
Meaning LogRotateMeaning(std::string_view value);
Meaning LocationMeaning(std::string_view value);
Meaning SilenceMeaning(std::string_view value);

// Every key quillon.ini knows, in the order --check shows them. A key
// without a field here is read elsewhere; one without a meaning is taken
// as written.
struct Key {
    std::string_view name;
    std::string Fields::*field;
    Meaning (*meaning)(std::string_view value);
};
constexpr Key kKeys[] = {
    {"COM_PORT", &Fields::COM_PORT, PortMeaning},
    {"COM_SETTINGS", &Fields::COM_SETTINGS, SerialLineMeaning},
    {"COM_HANDSHAKING", &Fields::COM_HANDSHAKING, SwitchMeaning},
    {"MIRROR_COM_PORT", &Fields::MIRROR_COM_PORT, PortMeaning},
    {"MIRROR_COM_SETTINGS", &Fields::MIRROR_COM_SETTINGS, SerialLineMeaning},
    {"MIRROR_COM_HANDSHAKING", &Fields::MIRROR_COM_HANDSHAKING, SwitchMeaning},
    {"MIRROR", &Fields::MIRROR, SwitchMeaning},
    {"KISS_TCP", &Fields::KISS_TCP, KissTcpMeaning},
    {"TIMESERVER", &Fields::TIMESERVER, TimeServerMeaning},
    {"TIMEFRAMES", &Fields::TIMEFRAMES, SwitchMeaning},
    {"HEXFILE", &Fields::HEXFILE, SwitchMeaning},
    {"JSONFILE", &Fields::JSONFILE, SwitchMeaning},
    {"LOG_ROTATE", &Fields::LOG_ROTATE, LogRotateMeaning},
    {"APRS", &Fields::APRS, SwitchMeaning},
    {"MY_LOCATION", &Fields::MY_LOCATION, LocationMeaning},
    {"SILENCE_WARNING", &Fields::SILENCE_WARNING, SilenceMeaning},
    {"LOG_KEEP_DAYS", &Fields::LOG_KEEP_DAYS, nullptr},
    {"STATUS_FILE", nullptr, nullptr},
    {"KISS_PORTS", &Fields::KISS_PORTS, SwitchMeaning},
    {"KISS_SERVER", &Fields::KISS_SERVER, nullptr},
    {"IGATE_CALL", &Fields::IGATE_CALL, nullptr},
    {"IGATE_PASSCODE", &Fields::IGATE_PASSCODE, nullptr},
    {"IGATE_SERVER", &Fields::IGATE_SERVER, nullptr},
    {"IGATE_FILTER", &Fields::IGATE_FILTER, nullptr},
    {"MQTT", &Fields::MQTT, nullptr},
    {"MQTT_TOPIC", &Fields::MQTT_TOPIC, nullptr},
    {"MQTT_USER", &Fields::MQTT_USER, nullptr},
    {"MQTT_PASSWORD", &Fields::MQTT_PASSWORD, nullptr},
};

// Keys whose values are names and secrets for another system (an APRS-IS
// filter, MQTT's topic and credentials), read in the case they were written in.
bool KeepsCase(std::string_view key)
{
    return key == "IGATE_FILTER" || key == "MQTT_TOPIC" || key == "MQTT_USER" || key == "MQTT_PASSWORD";
}

const Key* FindKey(std::string_view name)
{
    for (const Key& k : kKeys)
        if (k.name == name)
            return &k;
    return nullptr;
}

// Each line that sets something, in order: its number (from 1), key and
// value, both trimmed; an empty key for a line without "=".
template <typename Visit>
void ForEachSetting(std::string_view text, Visit visit)
{
    int number = 0;
    for (std::string_view raw : SplitLines(text)) {
        ++number;
        const std::string line = UpperCase(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const std::string_view view(line);
        const auto equals = view.find('=');
        if (equals == std::string_view::npos) {
            visit(number, std::string_view(), TrimBlanks(view), std::string_view());
            continue;
        }
        // Upper-casing goes byte by byte: the value as written is at the same place.
        const std::string_view value = TrimBlanks(view.substr(equals + 1));
        const std::string_view written =
            value.empty() ? std::string_view() : raw.substr(value.data() - line.data(), value.size());
        visit(number, TrimBlanks(view.substr(0, equals)), value, written);
    }
}

bool IsOn(const std::string& field) { return field == "YES"; }

// A field that is a whole number from `lowest` to `highest` and nothing else
// (no blank, no "+").
std::optional<long> WholeNumber(std::string_view field, long lowest, long highest)
{
    long n = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), n);
    if (error != std::errc() || end != field.data() + field.size() || n < lowest || n > highest)
        return std::nullopt;
    return n;
}

// A COM port number field: a whole number from 1 to 32767, nothing else.
std::optional<std::int16_t> ParsePortNumber(std::string_view field)
{
    const std::optional<long> n = WholeNumber(field, 1, 32767);
    return n ? std::optional(static_cast<std::int16_t>(*n)) : std::nullopt;
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
    const std::optional<long> n = WholeNumber(field, 1, 65535);
    return n ? std::optional(static_cast<std::uint16_t>(*n)) : std::nullopt;
}

// SILENCE_WARNING: whole minutes, 0 for none; at most a week.
constexpr int kMaxSilenceMinutes = 7 * 24 * 60;

std::optional<std::chrono::minutes> ParseSilenceMinutes(std::string_view field)
{
    if (field.empty())
        return std::chrono::minutes(0);
    const std::optional<long> n = WholeNumber(field, 0, kMaxSilenceMinutes);
    return n ? std::optional(std::chrono::minutes(*n)) : std::nullopt;
}

Meaning SwitchMeaning(std::string_view value)
{
    if (value == "YES")
        return {"on", {}};
    if (value.empty() || value == "NO")
        return {"off", {}};
    return {"off", "neither YES nor NO, so off"};
}

Meaning PortMeaning(std::string_view value)
{
    if (value.empty())
        return {"the port's own number", {}};
    if (const auto n = ParsePortNumber(value))
        return {"COM " + std::to_string(*n), {}};
    return {"the port's own number", "not a port number from 1 to 32767"};
}

Meaning SerialLineMeaning(std::string_view value)
{
    if (value.empty())
        return {"the port's own settings", {}};
    if (ParseSerialSettings(value))
        return {std::string(value), {}};
    return {"the port's own settings", "not BAUD,PARITY,DATA BITS,STOP BITS such as 9600,N,8,1"};
}

Meaning TimeServerMeaning(std::string_view value)
{
    if (value.empty())
        return {"no time server", {}};
    return {"the clock set from " + std::string(value) + " at start-up", {}};
}

Meaning KissTcpMeaning(std::string_view value)
{
    if (value.empty())
        return {"the input is COM_PORT", {}};
    if (const auto address = ParseKissTcp(value))
        return {"the input is the KISS server " + FormatTcpAddress(*address), {}};
    return {"no input", "names no server (HOST or HOST:PORT, port 1 to 65535)"};
}

Meaning LogRotateMeaning(std::string_view value)
{
    if (value == "DAILY")
        return {"a new set of logs at 00:00 UTC", {}};
    if (value.empty())
        return {"one set of logs a run", {}};
    return {"one set of logs a run", "neither DAILY nor empty"};
}

Meaning LocationMeaning(std::string_view value)
{
    if (value.empty())
        return {"no distances", {}};
    if (ParseLocation(value))
        return {"distances from there", {}};
    return {"no distances", "not a place (latitude and longitude, or a locator)"};
}

Meaning SilenceMeaning(std::string_view value)
{
    const auto minutes = ParseSilenceMinutes(value);
    if (!minutes)
        return {"no warning", "not whole minutes from 0 to " + std::to_string(kMaxSilenceMinutes)};
    if (minutes->count() == 0)
        return {"no warning", {}};
    return {"a warning after " + std::to_string(minutes->count()) + " min without a frame", {}};
}

// Passwords are not shown.
bool IsSecret(std::string_view key) { return key.ends_with("PASSWORD") || key.ends_with("PASSCODE"); }

}  // namespace

std::optional<TcpAddress> ParseKissTcp(std::string_view field) { return ParseTcpAddress(field, kKissTcpDefaultPort); }

std::optional<TcpAddress> ParseTcpAddress(std::string_view field, std::optional<std::uint16_t> defaultPort)
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
    if (rest.empty() && !defaultPort)
        return std::nullopt;
    TcpAddress address{std::string(host), defaultPort.value_or(0)};
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
    // Values whose case matters (a path, an APRS-IS filter, MQTT's topic and
    // credentials) are taken from the line as written.
    std::string statusFile;
    ForEachSetting(text, [&f, &statusFile](int, std::string_view key, std::string_view value, std::string_view raw) {
        if (const Key* k = FindKey(key); k && k->field)
            f.*(k->field) = std::string(value);
        if (KeepsCase(key))
            f.*(FindKey(key)->field) = std::string(raw);
        if (key == "STATUS_FILE")
            statusFile = std::string(raw);
    });
    Settings s;
    s.statusFile = std::move(statusFile);
    s.input = SerialLinkFrom(f.COM_PORT, f.COM_SETTINGS, f.COM_HANDSHAKING);
    s.mirror = SerialLinkFrom(f.MIRROR_COM_PORT, f.MIRROR_COM_SETTINGS, f.MIRROR_COM_HANDSHAKING);
    if (!f.KISS_TCP.empty()) {
        s.kissTcp = ParseKissTcp(f.KISS_TCP);
        if (!s.kissTcp)
            s.kissTcpRefused = f.KISS_TCP;
    }
    s.timeServer = f.TIMESERVER;
    // Sharing the frames: KISS_SERVER "[address:]port", on 127.0.0.1 unless
    // an address is given; the igate with both IGATE_CALL and IGATE_SERVER.
    if (!f.KISS_SERVER.empty()) {
        s.kissServer = ParseTcpPort(f.KISS_SERVER)
                           ? std::optional(TcpAddress{"127.0.0.1", *ParseTcpPort(f.KISS_SERVER)})
                           : ParseTcpAddress(f.KISS_SERVER, std::nullopt);
        if (!s.kissServer)
            s.sharingRefused.push_back("KISS_SERVER=" + f.KISS_SERVER + " not understood (PORT or ADDRESS:PORT)");
    }
    if (!f.IGATE_SERVER.empty() || !f.IGATE_CALL.empty()) {
        s.igateServer = ParseTcpAddress(f.IGATE_SERVER, kIgateDefaultPort);
        s.igate = {f.IGATE_CALL, f.IGATE_PASSCODE, f.IGATE_FILTER};
        if (!s.igateServer || f.IGATE_CALL.empty()) {
            s.igateServer.reset();
            s.sharingRefused.push_back("IGATE_CALL=" + f.IGATE_CALL + " IGATE_SERVER=" + f.IGATE_SERVER +
                                       " not understood (a call and HOST or HOST:PORT): no igate");
        }
    }
    s.timeFrames = IsOn(f.TIMEFRAMES);
    s.hexFile = IsOn(f.HEXFILE);
    s.jsonFile = IsOn(f.JSONFILE);
    s.mirroring = IsOn(f.MIRROR);
    s.dailyLogs = f.LOG_ROTATE == "DAILY";
    s.aprs = IsOn(f.APRS);
    s.myLocation = f.MY_LOCATION;
    // LOG_KEEP_DAYS: a whole number of days, 0 (or nothing) for no deleting.
    if (!f.LOG_KEEP_DAYS.empty()) {
        const std::optional<long> days = WholeNumber(f.LOG_KEEP_DAYS, 0, kLogKeepDaysLimit);
        s.logKeepDays = int(days.value_or(0));
        if (!days)
            s.logKeepDaysRefused = f.LOG_KEEP_DAYS;
    }
    s.silenceWarning = ParseSilenceMinutes(f.SILENCE_WARNING).value_or(std::chrono::minutes(0));
    if (!f.MQTT.empty()) {
        s.mqtt = ParseTcpAddress(f.MQTT, kMqttDefaultPort);
        if (!s.mqtt)
            s.mqttRefused = f.MQTT;
    }
    s.mqttTopic = f.MQTT_TOPIC;
    s.mqttUser = f.MQTT_USER;
    s.mqttPassword = f.MQTT_PASSWORD;
    s.kissPorts = IsOn(f.KISS_PORTS);
    return s;
}

SettingsCheck CheckSettings(std::string_view text)
{
    SettingsCheck check;
    std::vector<std::optional<std::string>> values(std::size(kKeys));
    ForEachSetting(text, [&](int number, std::string_view key, std::string_view value, std::string_view) {
        const std::string where = "line " + std::to_string(number) + ": ";
        if (key.empty() && value.empty()) {
            return;  // blanks only
        } else if (key.empty()) {
            check.warnings.push_back(where + "no \"=\" in " + std::string(value));
        } else if (const Key* k = FindKey(key)) {
            values[std::size_t(k - kKeys)] = std::string(value);
        } else {
            check.unknownKeys.push_back(where + "unknown key " + std::string(key));
            check.warnings.push_back(check.unknownKeys.back());
        }
    });
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        const Key& k = kKeys[i];
        const std::string value = values[i].value_or("");
        const Meaning m = k.meaning ? k.meaning(value) : Meaning{values[i] ? "as written" : "not set", {}};
        const std::string shown = IsSecret(k.name) && !value.empty() ? "(not shown)" : value;
        std::string line = std::string(k.name) + (values[i] ? "=" + shown : " (not set)");
        check.lines.push_back(line + ": " + m.meaning);
        if (!m.problem.empty())
            check.warnings.push_back(line + ": " + m.problem);
    }
    // The keys read as a whole (the log retention, the sharers) say what
    // they refuse as the run says it.
    const Settings settings = ParseSettings(text);
    if (!settings.logKeepDaysRefused.empty())
        check.warnings.push_back("LOG_KEEP_DAYS=" + settings.logKeepDaysRefused + ": not whole days from 0 to " +
                                 std::to_string(kLogKeepDaysLimit));
    check.warnings.insert(check.warnings.end(), settings.sharingRefused.begin(), settings.sharingRefused.end());
    if (!settings.mqttRefused.empty())
        check.warnings.push_back("MQTT=" + settings.mqttRefused + ": names no broker (HOST or HOST:PORT)");
    return check;
}

std::string InputLinkLabel(const Settings& settings)
{
    if (settings.kissTcp)
        return "IN (TCP " + FormatTcpAddress(*settings.kissTcp) + ")";
    if (!settings.kissTcpRefused.empty())  // nothing is opened
        return "IN (TCP " + settings.kissTcpRefused + "?)";
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
