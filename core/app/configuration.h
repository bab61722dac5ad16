// quillon.ini: KEY=VALUE lines, read once at start-up.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "igate.h"
#include "tnc/serial_settings.h"

namespace quillon {

// The KISS server that KISS_TCP names.
struct TcpAddress {
    std::string host;  // a name or an address; an IPv6 address without its brackets
    std::uint16_t port = 0;
    bool operator==(const TcpAddress&) const = default;
};

// The port of a KISS server when KISS_TCP names none: Dire Wolf's and most
// soundcard modems' default.
inline constexpr std::uint16_t kKissTcpDefaultPort = 8001;

// A KISS_TCP field: "HOST:PORT" or "HOST", an IPv6 address in brackets,
// "[::1]:8001" or "[::1]"; the port a whole number from 1 to 65535, 8001
// when left out. Nothing for an empty field or one that is none of these
// (a host with a blank, a bare IPv6 address, a port out of range).
std::optional<TcpAddress> ParseKissTcp(std::string_view field);
// The same with another default port; none: the port must be given.
std::optional<TcpAddress> ParseTcpAddress(std::string_view field, std::optional<std::uint16_t> defaultPort);

// As the status lines and the input label name the server: "HOST:PORT",
// "[::1]:8001".
std::string FormatTcpAddress(const TcpAddress& address);

// The status line of a KISS_TCP field that ParseKissTcp refuses.
std::string KissTcpRefusedLine(std::string_view field);

// The serial links' own set-up, which quillon.ini may change: the input is
// COM 1, the mirror COM 2, both 9600,N,8,1 without handshaking.
inline constexpr std::int16_t kInputPortNumber = 1;
inline constexpr std::int16_t kMirrorPortNumber = 2;
inline constexpr const char* kDefaultSerialSettingsText = "9600,N,8,1";

// A serial link as quillon.ini sets it up (COM_PORT, COM_SETTINGS,
// COM_HANDSHAKING, or the three MIRROR_COM_ keys).
struct SerialLinkSettings {
    // A whole number from 1 to 32767; nothing: the link keeps its own.
    std::optional<std::int16_t> port;
    // Nothing: the text is not one a port takes, and the link keeps its own.
    std::optional<SerialSettings> line;
    bool rtsCts = false;  // handshaking "YES"
    // The three fields as written (upper-cased, trimmed): the label shows them so.
    std::string portText, lineText, handshakingText;
};

// quillon.ini, read once at start-up. Every line is upper-cased; an empty
// line or one with "#" in the first column is skipped, and so is a line
// without "=". The key is the text before the first "=", the value the rest,
// both trimmed of blanks (tabs stay). A known key's last occurrence wins;
// unknown keys are ignored here (CheckSettings names them). A switch is on
// only when its value is exactly "YES"; a missing key leaves its field as
// below.
struct Settings {
    SerialLinkSettings input;   // COM_PORT, COM_SETTINGS, COM_HANDSHAKING
    SerialLinkSettings mirror;  // MIRROR_COM_PORT, MIRROR_COM_SETTINGS, MIRROR_COM_HANDSHAKING
    // KISS_TCP: the input is this KISS server instead of COM_PORT.
    std::optional<TcpAddress> kissTcp;
    std::string kissTcpRefused;  // a KISS_TCP that names no server, as written
    std::string timeServer;      // TIMESERVER, as written (in capitals); empty: none
    bool timeFrames = false;     // TIMEFRAMES
    bool hexFile = false;        // HEXFILE
    bool jsonFile = false;       // JSONFILE: a JSON Lines log, one object a frame
    bool mirroring = false;      // MIRROR: mirroring on at start-up
    bool dailyLogs = false;      // LOG_ROTATE=DAILY: a new set of logs at 00:00 UTC
    bool aprs = false;           // APRS
    std::string myLocation;      // MY_LOCATION, as written (in capitals)
    // Sharing the frames with other programs and APRS-IS; all off when unset.
    std::optional<TcpAddress> kissServer;     // KISS_SERVER: clients read every frame here
    std::optional<TcpAddress> igateServer;    // IGATE_SERVER, port 14580 unless given; set only with IGATE_CALL
    IgateLogin igate;                         // IGATE_CALL, IGATE_PASSCODE, IGATE_FILTER (as written)
    std::vector<std::string> sharingRefused;  // status lines of the keys above that name nothing
    // LOG_KEEP_DAYS: log sets older than this many days are deleted; 0 keeps
    // them all. A value that is no whole number from 0 to kLogKeepDaysLimit
    // keeps them all too, and is in logKeepDaysRefused as written.
    int logKeepDays = 0;
    std::string logKeepDaysRefused;
    // STATUS_FILE: the status file's path as written, its case kept (a path
    // is no word); relative to the program folder. Empty: none.
    std::string statusFile;
    // SILENCE_WARNING: a warning once no frame came for that long; 0: none.
    std::chrono::minutes silenceWarning{0};
    // MQTT: the broker that gets every frame's JSON line and the station's
    // state. The topic, user and password keep the case they were written
    // in; an empty topic is quillon/<host name>.
    std::optional<TcpAddress> mqtt;
    std::string mqttRefused;  // an MQTT that names no broker, as written
    std::string mqttTopic, mqttUser, mqttPassword;
    bool kissPorts = false;      // KISS_PORTS: data frames of KISS ports 1-15 named for their port
};

// The broker's port when MQTT names none.
inline constexpr std::uint16_t kMqttDefaultPort = 1883;


// A hundred years: more is surely a typing error.
inline constexpr int kLogKeepDaysLimit = 36525;

Settings ParseSettings(std::string_view text);

// What quillon.ini means, for `quillon --check`: every key the program
// knows, in one table, with its value and what that value means,
//   "HEXFILE=YES: on", "LOG_ROTATE (not set): one set of logs a run";
// and a warning for each line whose key is unknown, each line without "="
// and each value that means something other than it seems to,
//   "line 7: unknown key HEXFIEL", "LOG_ROTATE=DAYLY: neither DAILY nor empty".
struct SettingsCheck {
    std::vector<std::string> lines;
    std::vector<std::string> warnings;
    std::vector<std::string> unknownKeys;  // the warnings of unknown keys, said at every start too
};

SettingsCheck CheckSettings(std::string_view text);

// The labels of the two links as configured: "IN (COM 1, 9600,N,8,1,NO)" or
// "IN (TCP LOCALHOST:8001)" ("IN (TCP FOO:BAR?)" for one that names no
// server), "OUT (COM 2, 9600,N,8,1,NO)", the serial fields
// as written; and the mirror port in effect, the number and settings it
// took or else its own (port 2, 9600,N,8,1): "COM 2, 9600,N,8,1 initialized ".
std::string InputLinkLabel(const Settings& settings);
std::string MirrorLinkLabel(const Settings& settings);
std::string MirrorInEffectLine(const Settings& settings);

}  // namespace quillon
