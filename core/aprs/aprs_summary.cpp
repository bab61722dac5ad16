// The console's one-line summary of an APRS packet.
#include <charconv>
#include <cmath>
#include <string>

#include "aprs.h"

namespace quillon {

namespace {

constexpr char kDegree = '\xB0';  // in Windows-1252

void Section(std::string& line) { line.append("  "); }

// Text from the air: a control character shows as ".", as in the payload text.
void AppendShown(std::string& line, std::string_view text)
{
    for (const char c : text)
        line.push_back(static_cast<unsigned char>(c) < 32 ? '.' : c);
}

void AppendQuoted(std::string& line, std::string_view text)
{
    line.push_back('"');
    AppendShown(line, text);
    line.push_back('"');
}

// `value` with `decimals` decimals between `before` and `after`; a negative
// `decimals` gives the shortest form.
void AppendNumber(std::string& line, std::string_view before, double value, int decimals, std::string_view after = {})
{
    char text[64];
    const auto end = decimals < 0
                         ? std::to_chars(text, text + sizeof text, value).ptr
                         : std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    line.append(before).append(text, end).append(after);
}

void AppendInt(std::string& line, int n)
{
    char digits[12];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

void AppendDigits(std::string& line, long value, int digits)
{
    char text[12];
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        text[i] = char('0' + value % 10);
    line.append(text, static_cast<std::size_t>(digits));
}

// "60°28.51'N" or "025°05.68'E".
void AppendAngle(std::string& line, double value, int degreeDigits, char positive, char negative)
{
    const long hundredths = std::lround(std::abs(value) * 6000);
    AppendDigits(line, hundredths / 6000, degreeDigits);
    line.push_back(kDegree);
    AppendDigits(line, hundredths % 6000 / 100, 2);
    line.push_back('.');
    AppendDigits(line, hundredths % 100, 2);
    line.push_back('\'');
    line.push_back(value < 0 ? negative : positive);
}

void AppendWeather(std::string& line, const AprsWeather& w)
{
    Section(line);
    line.append("wx");
    if (w.windDirection) {
        line.append(" wind ");
        AppendInt(line, *w.windDirection);
        line.push_back(kDegree);
    }
    if (w.windSpeed)
        AppendNumber(line, " ", *w.windSpeed, 1, " m/s");
    if (w.windGust)
        AppendNumber(line, " gust ", *w.windGust, 1, " m/s");
    if (w.temperature) {
        AppendNumber(line, " ", *w.temperature, 1);
        line.push_back(kDegree);
        line.push_back('C');
    }
    if (w.rain1h)
        AppendNumber(line, " rain ", *w.rain1h, 1, " mm/1h");
    if (w.rain24h)
        AppendNumber(line, " ", *w.rain24h, 1, " mm/24h");
    if (w.rainMidnight)
        AppendNumber(line, " ", *w.rainMidnight, 1, " mm since midnight");
    if (w.humidity) {
        line.push_back(' ');
        AppendInt(line, *w.humidity);
        line.push_back('%');
    }
    if (w.pressure)
        AppendNumber(line, " ", *w.pressure, 1, " hPa");
    if (w.luminosity) {
        line.push_back(' ');
        AppendInt(line, *w.luminosity);
        line.append(" W/m2");
    }
}

void AppendTelemetry(std::string& line, const AprsTelemetry& t)
{
    Section(line);
    line.append("telemetry");
    if (t.sequence) {
        line.append(" #");
        AppendInt(line, *t.sequence);
    }
    for (int i = 0; i < t.valueCount; ++i) {
        line.push_back(i == 0 ? ' ' : ',');
        AppendNumber(line, "", t.values[static_cast<std::size_t>(i)], -1);
    }
    if (t.bits) {
        line.push_back(' ');
        for (int bit = 7; bit >= 0; --bit)
            line.push_back((*t.bits >> bit) & 1 ? '1' : '0');
    }
}

void AppendPacket(std::string& line, const AprsPacket& p)
{
    if (!p.error.empty()) {
        line.append("error: ");
        AppendShown(line, p.error);
        return;
    }
    line.append(AprsTypeName(p.type));
    if (!p.name.empty()) {
        line.push_back(' ');
        AppendQuoted(line, p.name);
        if (p.alive == false)
            line.append(" killed");
    }
    if (!p.addressee.empty()) {
        line.append(" to ");
        AppendShown(line, p.addressee);
    }
    if (p.latitude && p.longitude) {
        line.push_back(' ');
        AppendAngle(line, *p.latitude, 2, 'N', 'S');
        line.push_back(' ');
        AppendAngle(line, *p.longitude, 3, 'E', 'W');
    }
    if (p.symbolTable != 0) {
        Section(line);
        AppendShown(line, std::string_view(&p.symbolTable, 1));
        AppendShown(line, std::string_view(&p.symbolCode, 1));
    }
    if (p.course || p.speed) {
        Section(line);
        if (p.course) {
            AppendInt(line, *p.course);
            line.push_back(kDegree);
        }
        if (p.speed)
            AppendNumber(line, p.course ? " " : "", *p.speed, 0, " km/h");
    }
    if (p.altitude)
        AppendNumber(line, "  ", *p.altitude, 0, " m");
    if (!p.phg.empty()) {
        line.append("  PHG ");
        AppendShown(line, p.phg);
    }
    if (p.range)
        AppendNumber(line, "  range ", *p.range, 0, " km");
    if (!p.dfs.empty()) {
        line.append("  DFS ");
        AppendShown(line, p.dfs);
    }
    if (!p.micEMessage.empty()) {
        Section(line);
        line.append(p.micEMessage);
    }
    if (p.weather)
        AppendWeather(line, *p.weather);
    if (p.telemetry)
        AppendTelemetry(line, *p.telemetry);
    if (!p.text.empty()) {
        Section(line);
        AppendQuoted(line, p.text);
    }
    if (!p.messageId.empty()) {
        line.append("  {");
        AppendShown(line, p.messageId);
        line.push_back('}');
    }
    if (!p.comment.empty()) {
        Section(line);
        AppendQuoted(line, p.comment);
    }
    if (p.inner) {
        const AprsPacket& inner = *p.inner;
        Section(line);
        AppendShown(line, inner.source);
        line.push_back('>');
        AppendShown(line, inner.destination);
        for (const std::string_view hop : inner.path) {
            line.push_back(',');
            AppendShown(line, hop);
        }
        line.append(": ");
        AppendPacket(line, inner);
    }
}

}  // namespace

std::string AprsSummaryLine(const AprsPacket& packet)
{
    std::string line = "APRS ";
    line.reserve(96);
    AppendPacket(line, packet);
    return line;
}

}  // namespace quillon
