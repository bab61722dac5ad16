// The APRS decoder: what the information field of a UI frame with PID F0
// says, after the APRS protocol reference 1.0.1 and its 1.1 and 1.2 addenda.
//
// The packet holds views into the input's payload (and into static texts):
// it is valid as long as the payload it was decoded from. A caller that keeps
// a field longer copies it. Only the comment, which may lose data extensions
// from its middle, is a string of its own.
//
// Decoding never fails: a payload the decoder does not know is type Unknown,
// a malformed one carries an error reason and none of the fields it could not
// read (never a made-up position).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class AprsType : std::uint8_t {
    Position,
    Object,
    Item,
    Message,
    Ack,
    Reject,
    Bulletin,
    Status,
    Weather,        // positionless weather report
    Telemetry,      // T#
    TelemetryMeta,  // PARM, UNIT, EQNS, BITS messages
    Query,
    Capabilities,
    ThirdParty,
    UserDefined,
    Unknown,
};

enum class AprsFormat : std::uint8_t {
    None,  // no position
    Uncompressed,
    Compressed,
    MicE,
    Nmea,
};

// "position", "object", ..., "telemetry-meta", "third-party", "user-defined",
// "unknown".
std::string_view AprsTypeName(AprsType type);
// "uncompressed", "compressed", "mic-e", "nmea"; "" for None.
std::string_view AprsFormatName(AprsFormat format);

struct AprsDigipeater {
    std::string_view call;  // "WIDE2-1", without a "*"
    bool repeated = false;  // H bit
};

// The decoded AX.25 frame the packet came in.
struct AprsInput {
    std::string_view source;       // "N0CALL-9"
    std::string_view destination;  // "APRS", or a Mic-E destination
    std::span<const AprsDigipeater> digipeaters;
    std::uint8_t control = 0x03;
    std::optional<std::uint8_t> pid;
    std::span<const std::uint8_t> payload;  // the information field
    // When the frame was received: resolves the day and hour a timestamp
    // leaves out. The epoch (the default) leaves timestamps unresolved.
    std::chrono::system_clock::time_point time{};
};

struct AprsWeather {
    std::optional<int> windDirection;    // degrees
    std::optional<double> windSpeed;     // m/s, sustained
    std::optional<double> windGust;      // m/s
    std::optional<double> temperature;   // degrees Celsius
    std::optional<double> rain1h;        // mm
    std::optional<double> rain24h;       // mm
    std::optional<double> rainMidnight;  // mm
    std::optional<int> humidity;         // percent
    std::optional<double> pressure;      // hPa
    std::optional<int> luminosity;       // W/m2
};

struct AprsTelemetry {
    std::optional<int> sequence;  // none for "T#MIC"
    std::array<double, 5> values{};
    int valueCount = 0;
    std::optional<std::uint8_t> bits;  // bit 7 is the first digital channel
};

struct AprsPacket {
    AprsType type = AprsType::Unknown;
    AprsFormat format = AprsFormat::None;

    // Only for a third-party packet's inner packet: its own header, each
    // path entry as written ("WIDE1*").
    std::string_view source;
    std::string_view destination;
    std::vector<std::string_view> path;

    // Decimal degrees, north and east positive; both or neither.
    std::optional<double> latitude;
    std::optional<double> longitude;
    int ambiguity = 0;     // digits blanked in an uncompressed position, 0 to 4
    char symbolTable = 0;  // '/', '\\' or an overlay; 0 without a symbol
    char symbolCode = 0;

    std::optional<int> course;       // degrees, 1 to 360 (0: not known)
    std::optional<double> speed;     // km/h
    std::optional<double> altitude;  // m
    std::string_view phg;            // "7220" of "PHG7220"
    std::optional<double> range;     // km, from RNG or compressed cs bytes
    std::string_view dfs;            // "2360" of "DFS2360"
    std::string_view micEMessage;    // "En Route", "Emergency", "Custom-3", ...
    std::string comment;

    std::optional<bool> messaging;  // positions: the station takes messages

    std::string_view timestamp;  // as received: "092345z", "092345/", "234517h"
    // The timestamp resolved against the frame's time, in UTC; a local-time
    // (DHM "/") timestamp is never resolved.
    std::optional<std::chrono::system_clock::time_point> time;

    std::string_view name;      // objects and items, trailing blanks removed
    std::optional<bool> alive;  // objects and items: live, or killed

    // Messages, acks, rejects, bulletins, telemetry-meta and directed
    // queries: the addressee (trailing blanks removed), the text, the message
    // id (for an ack or reject, the id acknowledged). Status, queries,
    // capabilities and user-defined packets carry their text in `text`.
    std::string_view addressee;
    std::string_view text;
    std::string_view messageId;
    std::string_view locator;  // status: the Maidenhead locator

    std::optional<AprsWeather> weather;
    std::optional<AprsTelemetry> telemetry;

    // Third party: the packet inside, with its header in source, destination
    // and path.
    std::shared_ptr<const AprsPacket> inner;

    // Why the packet is malformed ("invalid latitude", ...); empty when not.
    std::string_view error;
};

// Decodes a UI frame with PID F0; any other frame is not APRS (nullopt).
std::optional<AprsPacket> DecodeAprs(const AprsInput& input);

// The console's line for a packet, without line end, in Windows-1252:
//   APRS position 60°28.51'N 025°05.68'E  /#  PHG 7220  "RELAY,WIDE, OH2AP"
//   APRS error: Mic-E information field too short
std::string AprsSummaryLine(const AprsPacket& packet);

}  // namespace quillon
