#include "frame_json.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "frame_aprs.h"

#include "text/hex.h"
#include "text/json.h"
#include "timesvc/timesvc.h"

namespace quillon {

namespace {

// `,"name":`, or `{"name":` for the first field, or `"name":` for the first
// field of an object just opened.
void Key(std::string& line, std::string_view name)
{
    if (line.empty())
        line.push_back('{');
    else if (line.back() != '{')
        line.push_back(',');
    line.append(1, '"').append(name).append("\":");
}

void AppendNumber(std::string& line, int n)
{
    char digits[12];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

std::string_view Chars(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// `value` with at most `decimals` decimals (0 to 6), trailing zeros dropped
// ("66.67", "12", "-3.5"); latitude and longitude keep all six. Fixed point
// in integers: the values are far below the range of a 64-bit integer.
void AppendDecimal(std::string& line, double value, int decimals, bool keepZeros = false)
{
    if (!(std::abs(value) < 1e12)) {  // the decoder gives none such; valid JSON all the same
        line.append("null");
        return;
    }
    static constexpr std::int64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    const std::int64_t scale = kScale[decimals];
    std::int64_t scaled = std::llround(std::abs(value) * double(scale));
    if (scaled != 0 && value < 0)
        line.push_back('-');
    char digits[24];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, scaled / scale).ptr);
    std::int64_t fraction = scaled % scale;
    int shown = decimals;
    if (!keepZeros) {
        for (; shown > 0 && fraction % 10 == 0; --shown)
            fraction /= 10;
    }
    if (shown == 0)
        return;
    line.push_back('.');
    for (int i = shown - 1; i >= 0; --i, fraction /= 10)
        digits[i] = char('0' + fraction % 10);
    line.append(digits, static_cast<std::size_t>(shown));
}

// `"2013-07-28T14:05:09Z"`, whole seconds.
void AppendUtc(std::string& line, std::chrono::system_clock::time_point t)
{
    using namespace std::chrono;
    const sys_days day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss<seconds> clock{floor<seconds>(t - day)};
    const int fields[] = {int(date.year()),           int(unsigned(date.month())),  int(unsigned(date.day())),
                          int(clock.hours().count()), int(clock.minutes().count()), int(clock.seconds().count())};
    char text[] = "\"0000-00-00T00:00:00Z\"";
    static constexpr int kEnds[] = {5, 8, 11, 14, 17, 20};  // one past each field's last digit
    for (int i = 0; i < 6; ++i) {
        int value = fields[i];
        for (int at = kEnds[i] - 1; value > 0 && text[at] == '0'; --at, value /= 10)
            text[at] = char('0' + value % 10);
    }
    line.append(text, sizeof text - 1);
}

void AppendAprs(std::string& line, const AprsPacket& p);

template <typename T>
void Optional(std::string& line, std::string_view name, const std::optional<T>& value, int decimals)
{
    if (!value)
        return;
    Key(line, name);
    AppendDecimal(line, static_cast<double>(*value), decimals);
}

void Text(std::string& line, std::string_view name, std::string_view value)
{
    if (value.empty())
        return;
    Key(line, name);
    AppendJsonString(line, value);
}

void AppendWeather(std::string& line, const AprsWeather& w)
{
    Optional(line, "wind_direction", w.windDirection, 0);
    Optional(line, "wind_speed", w.windSpeed, 2);
    Optional(line, "wind_gust", w.windGust, 2);
    Optional(line, "temperature", w.temperature, 2);
    Optional(line, "rain_1h", w.rain1h, 2);
    Optional(line, "rain_24h", w.rain24h, 2);
    Optional(line, "rain_midnight", w.rainMidnight, 2);
    Optional(line, "humidity", w.humidity, 0);
    Optional(line, "pressure", w.pressure, 1);
    Optional(line, "luminosity", w.luminosity, 0);
}

void AppendTelemetry(std::string& line, const AprsTelemetry& t)
{
    Optional(line, "sequence", t.sequence, 0);
    Key(line, "values");
    line.push_back('[');
    for (int i = 0; i < t.valueCount; ++i) {
        if (i > 0)
            line.push_back(',');
        AppendDecimal(line, t.values[static_cast<std::size_t>(i)], 6);
    }
    line.push_back(']');
    if (t.bits) {
        Key(line, "bits");
        line.push_back('"');
        for (int bit = 7; bit >= 0; --bit)
            line.push_back((*t.bits >> bit) & 1 ? '1' : '0');
        line.push_back('"');
    }
}

// A nested object: `,"name":{...}`.
template <typename Body>
void Object(std::string& line, std::string_view name, Body body)
{
    Key(line, name);
    line.push_back('{');
    body(line);
    line.push_back('}');
}

void AppendAprs(std::string& line, const AprsPacket& p)
{
    Key(line, "type");
    AppendJsonString(line, AprsTypeName(p.type));
    Text(line, "format", AprsFormatName(p.format));
    if (p.latitude && p.longitude) {
        Key(line, "latitude");
        AppendDecimal(line, *p.latitude, 6, true);
        Key(line, "longitude");
        AppendDecimal(line, *p.longitude, 6, true);
    }
    if (p.ambiguity > 0) {
        Key(line, "ambiguity");
        AppendNumber(line, p.ambiguity);
    }
    if (p.symbolTable != 0) {
        Text(line, "symbol_table", std::string_view(&p.symbolTable, 1));
        Text(line, "symbol_code", std::string_view(&p.symbolCode, 1));
    }
    Optional(line, "course", p.course, 0);
    Optional(line, "speed", p.speed, 1);
    Optional(line, "altitude", p.altitude, 1);
    Text(line, "phg", p.phg);
    Text(line, "comment", p.comment);
    if (p.messaging) {
        Key(line, "messaging");
        line.append(*p.messaging ? "true" : "false");
    }
    Text(line, "timestamp", p.timestamp);
    if (p.time) {
        Key(line, "time");
        AppendUtc(line, *p.time);
    }
    Text(line, "name", p.name);
    if (p.alive) {
        Key(line, "alive");
        line.append(*p.alive ? "true" : "false");
    }
    Text(line, "addressee", p.addressee);
    Text(line, "text", p.text);
    Text(line, "message_id", p.messageId);
    if (p.weather)
        Object(line, "weather", [&](std::string& o) { AppendWeather(o, *p.weather); });
    if (p.telemetry)
        Object(line, "telemetry", [&](std::string& o) { AppendTelemetry(o, *p.telemetry); });
    if (p.inner) {
        Object(line, "inner", [&](std::string& o) {
            Text(o, "source", p.inner->source);
            Text(o, "destination", p.inner->destination);
            Key(o, "path");
            o.push_back('[');
            for (std::size_t i = 0; i < p.inner->path.size(); ++i) {
                if (i > 0)
                    o.push_back(',');
                AppendJsonString(o, p.inner->path[i]);
            }
            o.push_back(']');
            Object(o, "aprs", [&](std::string& a) { AppendAprs(a, *p.inner); });
        });
    }
    Text(line, "error", p.error);
}

void AppendDecoded(std::string& line, const DecoderState& dec, std::chrono::system_clock::time_point time)
{
    if (!HeaderIsWhole(dec)) {
        Key(line, "damaged");
        line.append("true");
        return;
    }
    Key(line, "source");
    AppendJsonString(line, dec.SourceCall);
    Key(line, "destination");
    AppendJsonString(line, dec.DestinationCall);
    Key(line, "digipeaters");
    line.push_back('[');
    for (int slot = 1; slot <= dec.DigipeaterCount && slot <= kMaxDigipeaters; ++slot) {
        const std::string_view call = dec.DigipeaterCalls[static_cast<std::size_t>(slot)];
        const bool repeated = dec.DigipeaterRepeated[static_cast<std::size_t>(slot)];
        line.append(slot > 1 ? ",{\"call\":" : "{\"call\":");
        // The decoder put the "*" behind a call whose H bit is set.
        AppendJsonString(line, repeated ? call.substr(0, call.size() - 1) : call);
        line.append(repeated ? ",\"repeated\":true}" : ",\"repeated\":false}");
    }
    line.push_back(']');
    Key(line, "control");
    AppendJsonString(line, dec.ControlText);
    Key(line, "control_byte");
    AppendNumber(line, dec.ControlByte);
    Key(line, "pid");
    if (dec.PidByte)
        AppendNumber(line, *dec.PidByte);
    else
        line.append("null");

    const std::span<const std::uint8_t> payload = PayloadOf(dec);
    Key(line, "payload_hex");
    line.push_back('"');
    AppendHexBytes(line, payload);
    if (!payload.empty())
        line.pop_back();  // the blank behind the last byte
    line.push_back('"');
    Key(line, "payload_text");
    AppendJsonString(line, Chars(payload));

    if (const std::optional<AprsPacket> aprs = DecodeAprsFrame(dec, time))
        Object(line, "aprs", [&](std::string& o) { AppendAprs(o, *aprs); });
}

}  // namespace

std::string FrameJsonLine(const FrameReport& report, std::span<const std::uint8_t> frame, bool kissPorts)
{
    std::string line;
    line.reserve(400 + (report.decoded ? 256 + 5 * PayloadOf(*report.decoded).size() : 0));  // the aprs object too
    // "2013-07-28 14:05:09.437" -> "2013-07-28T14:05:09.437Z"
    std::string stamp = FormatTimestamp(report.time);
    if (stamp.size() > 10 && stamp[10] == ' ')
        stamp[10] = 'T';
    stamp.push_back('Z');
    Key(line, "time");
    AppendJsonString(line, stamp);

    const std::uint8_t command = frame.size() > 1 ? frame[1] : 0;
    Key(line, "port");
    AppendNumber(line, command >> 4);
    Key(line, "command");
    AppendNumber(line, command & 0x0F);
    Key(line, "type");
    AppendJsonString(line, FrameTypeText(command, kissPorts));
    Key(line, "length");
    AppendNumber(line, static_cast<int>(frame.size()));

    if (report.decoded)
        AppendDecoded(line, *report.decoded, report.time);
    line.append("}\n");
    return line;
}

}  // namespace quillon
