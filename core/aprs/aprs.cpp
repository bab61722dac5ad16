#include "aprs.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace quillon {

namespace {

using Text = std::string_view;
using namespace std::chrono;

constexpr double kKnotsToKmh = 1.852;
constexpr double kFeetToMetres = 0.3048;
constexpr double kMilesToKm = 1.609344;
constexpr double kMphToMs = 0.44704;
constexpr double kHundredthInchToMm = 0.254;
constexpr int kMaxThirdPartyDepth = 4;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsBase91(char c) { return c >= '!' && c <= '{'; }

bool AllDigits(Text s) { return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit); }

// A whole number of `s`, all of it.
std::optional<int> ToInt(Text s)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

// A decimal number of `s`, all of it, without exponent; none beyond a
// billion (no field of a packet comes near), never infinity or NaN.
std::optional<double> ToDouble(Text s)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !(std::abs(value) <= 1e9))
        return std::nullopt;
    return value;
}

int Base91(Text s)
{
    int value = 0;
    for (const char c : s)
        value = value * 91 + (c - 33);
    return value;
}

Text TrimRight(Text s)
{
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool ValidSymbolTable(char c) { return c == '/' || c == '\\' || IsUpper(c) || IsDigit(c); }

bool ValidPosition(const AprsPacket& p) { return std::abs(*p.latitude) <= 90 && std::abs(*p.longitude) <= 180; }

// ---- timestamps -------------------------------------------------------------

// A timestamp names the latest moment with its fields that is not later than
// `now` (give or take the clocks' difference, `slack`): the candidates are
// the same fields a period (a day, a month, a year) earlier, now and later.
template <typename Make>
std::optional<system_clock::time_point> Latest(system_clock::time_point now, system_clock::duration slack, Make make)
{
    std::optional<system_clock::time_point> best;
    for (int shift = -1; shift <= 1; ++shift) {
        const std::optional<system_clock::time_point> t = make(shift);
        if (t && *t <= now + slack && (!best || *t > *best))
            best = t;
    }
    return best;
}

std::optional<system_clock::time_point> At(year_month_day date, int h, int m, int s)
{
    if (!date.ok())
        return std::nullopt;
    return sys_days(date) + hours(h) + minutes(m) + seconds(s);
}

// Reads a 7-character timestamp; false when it is none. A zulu DHM or HMS
// one is resolved against `now` unless `now` is the epoch.
bool ReadTimestamp(Text s, system_clock::time_point now, AprsPacket& p)
{
    if (s.size() < 7 || !AllDigits(s.substr(0, 6)))
        return false;
    const char kind = s[6];
    if (kind != 'z' && kind != '/' && kind != 'h')
        return false;
    p.timestamp = s.substr(0, 7);
    const int a = (s[0] - '0') * 10 + (s[1] - '0');
    const int b = (s[2] - '0') * 10 + (s[3] - '0');
    const int c = (s[4] - '0') * 10 + (s[5] - '0');
    const bool valid = kind == 'h' ? a < 24 && b < 60 && c < 60 : a >= 1 && a <= 31 && b < 24 && c < 60;
    if (!valid) {
        p.error = "invalid timestamp";
        return true;
    }
    if (now == system_clock::time_point{} || kind == '/')
        return true;
    const year_month_day today{floor<days>(now)};
    if (kind == 'h') {
        p.time = Latest(now, hours(1),
                        [&](int shift) { return At(year_month_day{sys_days(today) + days(shift)}, a, b, c); });
    } else {
        p.time = Latest(now, days(1), [&](int shift) {
            const year_month ym = year_month{today.year(), today.month()} + months(shift);
            return At(ym / day(static_cast<unsigned>(a)), b, c, 0);
        });
    }
    return true;
}

// The 8-digit month-day-hour-minute timestamp of a positionless weather report.
void ReadMdhm(Text s, system_clock::time_point now, AprsPacket& p)
{
    p.timestamp = s;
    const int mo = ToInt(s.substr(0, 2)).value_or(0);
    const int d = ToInt(s.substr(2, 2)).value_or(0);
    const int h = ToInt(s.substr(4, 2)).value_or(99);
    const int mi = ToInt(s.substr(6, 2)).value_or(99);
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59) {
        p.error = "invalid timestamp";
        return;
    }
    if (now == system_clock::time_point{})
        return;
    const year_month_day today{floor<days>(now)};
    p.time = Latest(now, days(1), [&](int shift) {
        return At(year_month_day{today.year() + years(shift), month(static_cast<unsigned>(mo)),
                                 day(static_cast<unsigned>(d))},
                  h, mi, 0);
    });
}

// ---- positions ---------------------------------------------------------------

// Half the area an ambiguous position leaves open, in minutes, by the digits
// blanked: it stands for the middle of that area.
constexpr double kHalfBox[] = {0, 0.05, 0.5, 5, 30};
constexpr int kBlankedHundredths[] = {1, 10, 100, 1000, 6000};

// "4903.50N" or "07201.75W" with up to four trailing digits blanked. Returns
// degrees, or nullopt; `blanks` gets the digits blanked.
std::optional<double> ReadAngle(Text s, int degreeDigits, char positive, char negative, int& blanks)
{
    // DD MM . hh H, the digits from the right: hundredths, tenths, minutes, tens of minutes
    const int size = degreeDigits + 6;
    if (static_cast<int>(s.size()) < size || s[static_cast<std::size_t>(degreeDigits + 2)] != '.')
        return std::nullopt;
    const char hemisphere = s[static_cast<std::size_t>(size - 1)];
    if (hemisphere != positive && hemisphere != negative)
        return std::nullopt;
    char digits[8];
    int n = 0;
    blanks = 0;
    bool blanking = false;
    for (int i = 0; i < size - 1; ++i) {
        const char c = s[static_cast<std::size_t>(i)];
        if (i == degreeDigits + 2)
            continue;
        if (c == ' ') {
            if (i < degreeDigits)
                return std::nullopt;
            blanking = true;
            ++blanks;
            digits[n++] = '0';
        } else if (IsDigit(c) && !blanking) {
            digits[n++] = c;
        } else {
            return std::nullopt;
        }
    }
    int degrees = 0;
    for (int i = 0; i < degreeDigits; ++i)
        degrees = degrees * 10 + (digits[i] - '0');
    const int hundredths = (digits[degreeDigits] - '0') * 1000 + (digits[degreeDigits + 1] - '0') * 100 +
                           (digits[degreeDigits + 2] - '0') * 10 + (digits[degreeDigits + 3] - '0');
    if (hundredths >= 6000)
        return std::nullopt;
    double minutes = hundredths / 100.0 + kHalfBox[std::min(blanks, 4)];
    const double value = degrees + minutes / 60.0;
    return hemisphere == negative ? -value : value;
}

// 19 bytes: latitude, symbol table, longitude, symbol code.
bool ReadUncompressed(Text s, AprsPacket& p)
{
    p.format = AprsFormat::Uncompressed;
    if (s.size() < 19) {
        p.error = "position too short";
        return false;
    }
    int latBlanks = 0;
    int lonBlanks = 0;
    const std::optional<double> lat = ReadAngle(s.substr(0, 8), 2, 'N', 'S', latBlanks);
    if (!lat || std::abs(*lat) > 90) {
        p.error = "invalid latitude";
        return false;
    }
    // The longitude is as ambiguous as the latitude, whatever it shows.
    std::optional<double> lon = ReadAngle(s.substr(9, 9), 3, 'E', 'W', lonBlanks);
    if (!lon || std::abs(*lon) > 180) {
        p.error = "invalid longitude";
        return false;
    }
    if (!ValidSymbolTable(s[8])) {
        p.error = "invalid symbol table";
        return false;
    }
    if (latBlanks > lonBlanks) {
        int unused = 0;
        std::string blanked(s.substr(9, 9));
        static constexpr int kDigitAt[] = {7, 6, 4, 3};
        for (int i = 0; i < latBlanks; ++i)
            blanked[static_cast<std::size_t>(kDigitAt[i])] = ' ';
        lon = ReadAngle(blanked, 3, 'E', 'W', unused);
    }
    p.latitude = lat;
    p.longitude = lon;
    p.ambiguity = latBlanks;
    p.symbolTable = s[8];
    p.symbolCode = s[18];
    return true;
}

// 13 bytes: symbol table, YYYY, XXXX, symbol code, c, s, compression type.
bool ReadCompressed(Text s, AprsPacket& p)
{
    p.format = AprsFormat::Compressed;
    if (s.size() < 13) {
        p.error = "compressed position too short";
        return false;
    }
    if (!std::all_of(s.begin() + 1, s.begin() + 9, IsBase91)) {
        p.error = "invalid compressed position";
        return false;
    }
    char table = s[0];
    if (table >= 'a' && table <= 'j')
        table = static_cast<char>('0' + (table - 'a'));  // overlay digits are sent as a-j
    if (!ValidSymbolTable(table)) {
        p.error = "invalid symbol table";
        return false;
    }
    p.latitude = 90 - Base91(s.substr(1, 4)) / 380926.0;
    p.longitude = -180 + Base91(s.substr(5, 4)) / 190463.0;
    if (!ValidPosition(p)) {
        p.latitude.reset();
        p.longitude.reset();
        p.error = "invalid compressed position";
        return false;
    }
    p.symbolTable = table;
    p.symbolCode = s[9];
    const char c = s[10];
    const char sp = s[11];
    const int type = s[12] - 33;
    if (c == ' ' || !IsBase91(c) || !IsBase91(sp))
        return true;
    if (type >= 0 && (type & 0x18) == 0x10) {
        p.altitude = std::pow(1.002, Base91(s.substr(10, 2))) * kFeetToMetres;
    } else if (c == '{') {
        p.range = 2 * std::pow(1.08, sp - 33) * kMilesToKm;
    } else if (c - 33 <= 89) {
        const int course = (c - 33) * 4;
        if (course > 0)
            p.course = course;
        p.speed = (std::pow(1.08, sp - 33) - 1) * kKnotsToKmh;
    }
    return true;
}

// ---- comments and their data extensions ---------------------------------------

// "088/036": course and speed; "..."/"   " leave one out.
bool ReadCourseSpeed(Text s, AprsPacket& p)
{
    if (s.size() < 7 || s[3] != '/')
        return false;
    const auto field = [](Text f) -> std::optional<int> {
        if (f == "..." || f == "   ")
            return -1;
        return AllDigits(f) ? ToInt(f) : std::nullopt;
    };
    const std::optional<int> course = field(s.substr(0, 3));
    const std::optional<int> speed = field(s.substr(4, 3));
    if (!course || !speed)
        return false;
    if (*course > 0 && *course <= 360)
        p.course = *course;
    if (*speed >= 0)
        p.speed = *speed * kKnotsToKmh;
    return true;
}

// The data extension of an uncompressed position: the first 7 bytes of the
// comment. Returns the comment behind it.
Text ReadDataExtension(Text s, AprsPacket& p)
{
    if (s.size() < 7)
        return s;
    if (ReadCourseSpeed(s, p))
        return s.substr(7);
    const Text value = s.substr(3, 4);
    if (s.starts_with("PHG") && AllDigits(value.substr(0, 3))) {
        p.phg = value;
        return s.substr(7);
    }
    if (s.starts_with("RNG") && AllDigits(value)) {
        p.range = *ToInt(value) * kMilesToKm;
        return s.substr(7);
    }
    if (s.starts_with("DFS") && AllDigits(value)) {
        p.dfs = value;
        return s.substr(7);
    }
    return s;
}

// A weather field: letter and `width` characters, digits (a leading minus for
// the temperature), or all blanks or dots for a value not known.
struct WeatherField {
    char letter;
    int width;
};
constexpr WeatherField kWeatherFields[] = {{'c', 3}, {'s', 3}, {'g', 3}, {'t', 3}, {'r', 3}, {'p', 3},
                                           {'P', 3}, {'h', 2}, {'b', 5}, {'L', 3}, {'l', 3}, {'#', 3}};

// Reads weather fields from the front of `s`; returns the rest. `afterWind`:
// the wind came already, an "s" is the snowfall.
Text ReadWeatherFields(Text s, AprsWeather& w, bool afterWind, bool& any)
{
    while (!s.empty()) {
        const auto field = std::find_if(std::begin(kWeatherFields), std::end(kWeatherFields),
                                        [&](const WeatherField& f) { return f.letter == s[0]; });
        if (field == std::end(kWeatherFields))
            break;
        const std::size_t width = static_cast<std::size_t>(field->width);
        if (s.size() < width + 1)
            break;
        const Text v = s.substr(1, width);
        std::optional<int> value;
        if (v.find_first_not_of(" .") != Text::npos) {
            value = ToInt(v);
            if (!value)
                break;
        }
        s.remove_prefix(width + 1);
        any = true;
        if (!value)
            continue;
        const int n = *value;
        switch (field->letter) {
        case 'c': w.windDirection = n; break;
        case 's':
            if (!afterWind)
                w.windSpeed = n * kMphToMs;
            break;  // snowfall: not carried
        case 'g': w.windGust = n * kMphToMs; break;
        case 't': w.temperature = (n - 32) * 5.0 / 9.0; break;
        case 'r': w.rain1h = n * kHundredthInchToMm; break;
        case 'p': w.rain24h = n * kHundredthInchToMm; break;
        case 'P': w.rainMidnight = n * kHundredthInchToMm; break;
        case 'h': w.humidity = n == 0 ? 100 : n; break;
        case 'b': w.pressure = n / 10.0; break;
        case 'L': w.luminosity = n; break;
        case 'l': w.luminosity = n + 1000; break;
        default: break;  // '#': raw rain counter
        }
        if (field->letter == 'c' || field->letter == 's')
            continue;
        afterWind = true;
    }
    return s;
}

void Erase(std::string& s, std::size_t at, std::size_t count) { s.erase(at, count); }

// "/A=001234" anywhere in the comment: the altitude in feet.
void TakeAltitude(std::string& c, AprsPacket& p)
{
    const std::size_t at = c.find("/A=");
    if (at == std::string::npos || c.size() < at + 9)
        return;
    const Text digits = Text(c).substr(at + 3, 6);
    const std::optional<int> feet = ToInt(digits);
    if (!feet || !(AllDigits(digits) || (digits[0] == '-' && AllDigits(digits.substr(1)))))
        return;
    p.altitude = *feet * kFeetToMetres;
    Erase(c, at, 9);
}

// "!W..!": a datum and one more digit of the minutes (upper case, "W12") or
// two more in base 91 (lower case, "w\"C").
void TakeDao(std::string& c, AprsPacket& p, bool applies)
{
    for (std::size_t at = c.find('!'); at != std::string::npos && at + 4 < c.size(); at = c.find('!', at + 1)) {
        const char datum = c[at + 1];
        const char a = c[at + 2];
        const char b = c[at + 3];
        if (c[at + 4] != '!' || !(IsUpper(datum) || IsLower(datum)))
            continue;
        double dlat = 0;
        double dlon = 0;
        if (IsUpper(datum) && (IsDigit(a) || a == ' ') && (IsDigit(b) || b == ' ')) {
            dlat = a == ' ' ? 0 : (a - '0') / 1000.0;
            dlon = b == ' ' ? 0 : (b - '0') / 1000.0;
        } else if (IsLower(datum) && IsBase91(a) && IsBase91(b)) {
            dlat = static_cast<int>((a - 33) * 1.1 + 0.5) / 10000.0;
            dlon = static_cast<int>((b - 33) * 1.1 + 0.5) / 10000.0;
        } else {
            continue;
        }
        if (applies && p.latitude && p.ambiguity == 0) {
            p.latitude = *p.latitude + std::copysign(dlat / 60.0, *p.latitude);
            p.longitude = *p.longitude + std::copysign(dlon / 60.0, *p.longitude);
        }
        Erase(c, at, 5);
        return;
    }
}

// "|ss1122334455bb|": sequence, two to five values and the bits, base 91.
void TakeBase91Telemetry(std::string& c, AprsPacket& p)
{
    const std::size_t open = c.find('|');
    if (open == std::string::npos)
        return;
    const std::size_t close = c.find('|', open + 1);
    if (close == std::string::npos)
        return;
    const Text t = Text(c).substr(open + 1, close - open - 1);
    if (t.size() < 4 || t.size() > 14 || t.size() % 2 != 0 || !std::all_of(t.begin(), t.end(), IsBase91))
        return;
    AprsTelemetry telemetry;
    telemetry.sequence = Base91(t.substr(0, 2));
    const int pairs = static_cast<int>(t.size() / 2) - 1;
    for (int i = 0; i < pairs && i < 5; ++i)
        telemetry.values[static_cast<std::size_t>(telemetry.valueCount++)] =
            Base91(t.substr(static_cast<std::size_t>(2 + 2 * i), 2));
    if (pairs == 6)
        telemetry.bits = static_cast<std::uint8_t>(Base91(t.substr(12, 2)));
    p.telemetry = telemetry;
    Erase(c, open, close - open + 1);
}

// The comment behind a position: data extension (uncompressed positions),
// the weather of a weather station, altitude, DAO and telemetry.
void ReadComment(Text s, AprsPacket& p)
{
    if (p.symbolCode == '_') {
        // A weather station: its course and speed are the wind's.
        AprsWeather w;
        bool any = false;
        // "220/004": direction and speed (mph), each may be "..." or blanks.
        const auto field = [](Text f, bool& ok) -> std::optional<int> {
            ok = AllDigits(f) || f.find_first_not_of(" .") == Text::npos;
            return AllDigits(f) ? ToInt(f) : std::nullopt;
        };
        bool directionOk = false;
        bool speedOk = false;
        if (p.format == AprsFormat::Uncompressed && s.size() >= 7 && s[3] == '/') {
            const std::optional<int> direction = field(s.substr(0, 3), directionOk);
            const std::optional<int> speed = field(s.substr(4, 3), speedOk);
            if (directionOk && speedOk) {
                if (direction)
                    w.windDirection = *direction;
                if (speed)
                    w.windSpeed = *speed * kMphToMs;
                s.remove_prefix(7);
                any = true;
            }
        } else if (p.course || p.speed) {
            if (p.course)
                w.windDirection = *p.course == 360 ? 0 : *p.course;
            if (p.speed)
                w.windSpeed = *p.speed / 3.6;  // km/h to m/s
            p.course.reset();
            p.speed.reset();
            any = true;
        }
        s = ReadWeatherFields(s, w, any, any);
        if (any)
            p.weather = w;
        else if (p.format == AprsFormat::Uncompressed)
            s = ReadDataExtension(s, p);
    } else if (p.format == AprsFormat::Uncompressed) {
        s = ReadDataExtension(s, p);
    }
    p.comment.assign(s);
    TakeAltitude(p.comment, p);
    TakeDao(p.comment, p, p.format == AprsFormat::Uncompressed || p.format == AprsFormat::MicE);
    TakeBase91Telemetry(p.comment, p);
}

// A position, uncompressed or compressed, and the comment behind it.
void ReadPositionAndComment(Text s, AprsPacket& p)
{
    if (s.empty()) {
        p.error = "position missing";
        return;
    }
    const bool ok = IsDigit(s[0]) ? ReadUncompressed(s, p) : ReadCompressed(s, p);
    if (!ok)
        return;
    ReadComment(s.substr(p.format == AprsFormat::Uncompressed ? 19 : 13), p);
}

// ---- Mic-E -------------------------------------------------------------------

constexpr std::array<Text, 8> kMicEStandard = {"Emergency", "Priority",   "Special",  "Committed",
                                               "Returning", "In Service", "En Route", "Off Duty"};
constexpr std::array<Text, 8> kMicECustom = {"Emergency", "Custom-6", "Custom-5", "Custom-4",
                                             "Custom-3",  "Custom-2", "Custom-1", "Custom-0"};

void ReadMicE(Text info, Text destination, AprsPacket& p)
{
    p.type = AprsType::Position;
    p.format = AprsFormat::MicE;
    if (info.size() < 9) {
        p.error = "Mic-E information field too short";
        return;
    }
    const std::size_t dash = destination.find('-');
    const Text d = destination.substr(0, dash);
    if (d.size() != 6) {
        p.error = "invalid Mic-E destination";
        return;
    }
    // Each destination character: a latitude digit (or a blank) and one bit.
    int digits[6];
    bool bit[6];
    int standard = 0;
    int custom = 0;
    int blanks = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = d[i];
        if (IsDigit(c)) {
            digits[i] = c - '0';
            bit[i] = false;
        } else if (c >= 'A' && c <= 'J') {
            digits[i] = c - 'A';
            bit[i] = true;
            custom += i < 3;
        } else if (c >= 'P' && c <= 'Y') {
            digits[i] = c - 'P';
            bit[i] = true;
            standard += i < 3;
        } else if (c == 'K' || c == 'L' || c == 'Z') {
            digits[i] = -1;
            bit[i] = c != 'L';
            if (i < 3 && c == 'K')
                ++custom;
            if (i < 3 && c == 'Z')
                ++standard;
        } else {
            p.error = "invalid Mic-E destination";
            return;
        }
        if (i >= 3 && (c >= 'A' && c <= 'K')) {
            p.error = "invalid Mic-E destination";
            return;
        }
    }
    for (int i = 5; i >= 2 && digits[i] < 0; --i)
        ++blanks;
    for (int i = 0; i < 6; ++i) {
        if (digits[i] < 0 && 5 - i >= blanks) {
            p.error = "invalid Mic-E destination";
            return;
        }
        if (digits[i] < 0)
            digits[i] = 0;
    }
    const int degrees = digits[0] * 10 + digits[1];
    const int hundredths = digits[2] * 1000 + digits[3] * 100 + digits[4] * 10 + digits[5];
    if (degrees > 89 && !(degrees == 90 && hundredths == 0)) {
        p.error = "invalid latitude";
        return;
    }
    if (hundredths >= 6000) {
        p.error = "invalid latitude";
        return;
    }
    double lat = degrees + (hundredths / 100.0 + kHalfBox[blanks]) / 60.0;
    if (!bit[3])
        lat = -lat;

    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(info[i]) - 28; };
    int lonDegrees = b(1) + (bit[4] ? 100 : 0);
    if (lonDegrees >= 180 && lonDegrees <= 189)
        lonDegrees -= 80;
    else if (lonDegrees >= 190 && lonDegrees <= 199)
        lonDegrees -= 190;
    int lonMinutes = b(2);
    if (lonMinutes >= 60)
        lonMinutes -= 60;
    const int lonHundredths = b(3);
    if (lonDegrees < 0 || lonDegrees > 179 || lonMinutes < 0 || lonMinutes > 59 || lonHundredths < 0 ||
        lonHundredths > 99) {
        p.error = "invalid longitude";
        return;
    }
    // The longitude is as ambiguous as the latitude.
    const int kept = (lonMinutes * 100 + lonHundredths) / kBlankedHundredths[blanks] * kBlankedHundredths[blanks];
    double lon = lonDegrees + (kept / 100.0 + kHalfBox[blanks]) / 60.0;
    if (bit[5])
        lon = -lon;
    if (!ValidSymbolTable(info[8])) {
        p.error = "invalid symbol table";
        return;
    }
    p.latitude = lat;
    p.longitude = lon;
    p.ambiguity = blanks;

    const int sp = b(4);
    const int dc = b(5);
    const int se = b(6);
    if (sp >= 0 && dc >= 0 && se >= 0) {
        int speed = sp * 10 + dc / 10;
        if (speed >= 800)
            speed -= 800;
        int course = (dc % 10) * 100 + se;
        if (course >= 400)
            course -= 400;
        p.speed = speed * kKnotsToKmh;
        if (course > 0 && course <= 360)
            p.course = course;
    }
    p.symbolCode = info[7];
    p.symbolTable = info[8];
    const int code = (bit[0] ? 4 : 0) + (bit[1] ? 2 : 0) + (bit[2] ? 1 : 0);
    if (custom > 0 && standard > 0)
        p.micEMessage = "Unknown";
    else
        p.micEMessage =
            custom > 0 ? kMicECustom[static_cast<std::size_t>(code)] : kMicEStandard[static_cast<std::size_t>(code)];

    Text comment = info.substr(9);
    // "xxx}": the altitude in metres above -10000, base 91, at the start of
    // the comment or behind the radio's type byte.
    std::string text(comment);
    for (std::size_t at = 0; at <= 1; ++at) {
        if (text.size() >= at + 4 && text[at + 3] == '}' && IsBase91(text[at]) && IsBase91(text[at + 1]) &&
            IsBase91(text[at + 2])) {
            p.altitude = Base91(Text(text).substr(at, 3)) - 10000;
            text.erase(at, 4);
            break;
        }
    }
    p.comment = std::move(text);
    TakeAltitude(p.comment, p);
    TakeDao(p.comment, p, true);
    TakeBase91Telemetry(p.comment, p);
}

// ---- NMEA --------------------------------------------------------------------

// "4916.45,N" style fields: ddmm.mm and a hemisphere.
std::optional<double> NmeaAngle(Text value, Text hemisphere, int degreeDigits, char positive, char negative)
{
    if (value.size() < static_cast<std::size_t>(degreeDigits + 2) || hemisphere.size() != 1)
        return std::nullopt;
    if (!AllDigits(value.substr(0, static_cast<std::size_t>(degreeDigits + 2))))
        return std::nullopt;
    const int degrees = *ToInt(value.substr(0, static_cast<std::size_t>(degreeDigits)));
    const std::optional<double> minutes = ToDouble(value.substr(static_cast<std::size_t>(degreeDigits)));
    if (!minutes || *minutes >= 60 || (hemisphere[0] != positive && hemisphere[0] != negative))
        return std::nullopt;
    const double v = degrees + *minutes / 60.0;
    return hemisphere[0] == negative ? -v : v;
}

void ReadNmeaTime(Text hms, system_clock::time_point now, AprsPacket& p)
{
    if (hms.size() < 6 || !AllDigits(hms.substr(0, 6)))
        return;
    char stamp[7];
    std::copy_n(hms.begin(), 6, stamp);
    stamp[6] = 'h';
    AprsPacket scratch;
    ReadTimestamp(Text(stamp, 7), now, scratch);
    p.timestamp = hms;
    p.time = scratch.time;
}

void ReadNmea(Text s, system_clock::time_point now, AprsPacket& p)
{
    p.type = AprsType::Position;
    p.format = AprsFormat::Nmea;
    const std::size_t star = s.find('*');
    const Text sentence = s.substr(0, star);
    std::array<Text, 16> f{};
    std::size_t count = 0;
    for (std::size_t start = 0; count < f.size();) {
        const std::size_t comma = sentence.find(',', start);
        f[count++] = sentence.substr(start, comma == Text::npos ? Text::npos : comma - start);
        if (comma == Text::npos)
            break;
        start = comma + 1;
    }
    const Text kind = f[0].size() == 6 ? f[0].substr(3) : Text();
    std::size_t latAt = 0;
    if (kind == "RMC" && count >= 10) {
        latAt = 3;
        ReadNmeaTime(f[1], now, p);
    } else if (kind == "GGA" && count >= 10) {
        latAt = 2;
        ReadNmeaTime(f[1], now, p);
    } else if (kind == "GLL" && count >= 5) {
        latAt = 1;
        if (count >= 6)
            ReadNmeaTime(f[5], now, p);
    } else {
        p.type = AprsType::Unknown;
        p.format = AprsFormat::None;
        if (kind == "RMC" || kind == "GGA" || kind == "GLL")
            p.error = "invalid NMEA sentence";
        return;
    }
    const std::optional<double> lat = NmeaAngle(f[latAt], f[latAt + 1], 2, 'N', 'S');
    if (!lat || std::abs(*lat) > 90) {
        p.error = "invalid latitude";
        return;
    }
    const std::optional<double> lon = NmeaAngle(f[latAt + 2], f[latAt + 3], 3, 'E', 'W');
    if (!lon || std::abs(*lon) > 180) {
        p.error = "invalid longitude";
        return;
    }
    p.latitude = lat;
    p.longitude = lon;
    if (kind == "RMC") {
        if (const std::optional<double> knots = ToDouble(f[7]))
            p.speed = *knots * kKnotsToKmh;
        if (const std::optional<double> course = ToDouble(f[8]); course && *course > 0 && *course <= 360)
            p.course = static_cast<int>(std::lround(*course));
    } else if (kind == "GGA") {
        if (const std::optional<double> metres = ToDouble(f[9]))
            p.altitude = *metres;
    }
}

// ---- the other types -----------------------------------------------------------

void ReadObject(Text s, system_clock::time_point now, AprsPacket& p)
{
    p.type = AprsType::Object;
    if (s.size() < 18 || (s[9] != '*' && s[9] != '_')) {
        p.error = "invalid object";
        return;
    }
    p.name = TrimRight(s.substr(0, 9));
    p.alive = s[9] == '*';
    if (!ReadTimestamp(s.substr(10), now, p)) {
        p.error = "invalid object timestamp";
        return;
    }
    if (!p.error.empty())
        return;
    ReadPositionAndComment(s.substr(17), p);
}

void ReadItem(Text s, AprsPacket& p)
{
    p.type = AprsType::Item;
    const std::size_t end = s.find_first_of("!_");
    if (end == Text::npos || end < 3 || end > 9) {
        p.error = "invalid item";
        return;
    }
    p.name = s.substr(0, end);
    p.alive = s[end] == '!';
    ReadPositionAndComment(s.substr(end + 1), p);
}

void ReadMessage(Text s, AprsPacket& p)
{
    p.type = AprsType::Message;
    if (s.size() < 10 || s[9] != ':') {
        p.error = "invalid message addressee";
        return;
    }
    p.addressee = TrimRight(s.substr(0, 9));
    Text text = s.substr(10);
    if (p.addressee.starts_with("BLN")) {
        p.type = AprsType::Bulletin;
        p.text = text;
        return;
    }
    for (const Text kind : {Text("ack"), Text("rej")}) {
        if (text.starts_with(kind)) {
            const Text id = TrimRight(text.substr(3));
            if (!id.empty() && id.size() <= 5 && id.find_first_of(" {") == Text::npos) {
                p.type = kind == "ack" ? AprsType::Ack : AprsType::Reject;
                p.messageId = id;
                return;
            }
        }
    }
    if (text.starts_with("PARM.") || text.starts_with("UNIT.") || text.starts_with("EQNS.") ||
        text.starts_with("BITS."))
        p.type = AprsType::TelemetryMeta;
    else if (text.starts_with('?'))
        p.type = AprsType::Query;
    // "{id" at the end, "{MM}AA" with a reply-ack.
    const std::size_t brace = text.rfind('{');
    if (brace != Text::npos) {
        Text id = text.substr(brace + 1);
        while (!id.empty() && (id.back() == '\r' || id.back() == '\n' || id.back() == ' '))
            id.remove_suffix(1);
        if (!id.empty() && id.size() <= 11 && id.find(' ') == Text::npos) {
            p.messageId = id;
            text = text.substr(0, brace);
        }
    }
    p.text = text;
}

void ReadStatus(Text s, system_clock::time_point now, AprsPacket& p)
{
    p.type = AprsType::Status;
    if (s.size() >= 7 && s[6] == 'z' && AllDigits(s.substr(0, 6))) {
        ReadTimestamp(s, now, p);
        s.remove_prefix(7);
    } else {
        // "IO91SX/G" or "IO91/G": a Maidenhead locator and a symbol.
        const auto locator = [&](std::size_t n) {
            return s.size() >= n + 2 && s[0] >= 'A' && s[0] <= 'R' && s[1] >= 'A' && s[1] <= 'R' && IsDigit(s[2]) &&
                   IsDigit(s[3]) &&
                   (n == 4 || (std::tolower(static_cast<unsigned char>(s[4])) >= 'a' &&
                               std::tolower(static_cast<unsigned char>(s[4])) <= 'x' &&
                               std::tolower(static_cast<unsigned char>(s[5])) >= 'a' &&
                               std::tolower(static_cast<unsigned char>(s[5])) <= 'x')) &&
                   ValidSymbolTable(s[n]) && (s.size() == n + 2 || s[n + 2] == ' ');
        };
        for (const std::size_t n : {std::size_t{6}, std::size_t{4}}) {
            if (locator(n)) {
                p.locator = s.substr(0, n);
                p.symbolTable = s[n];
                p.symbolCode = s[n + 1];
                break;
            }
        }
    }
    p.text = s;
}

void ReadTelemetry(Text s, AprsPacket& p)
{
    p.type = AprsType::Telemetry;
    AprsTelemetry t;
    if (s.starts_with("MIC")) {
        s.remove_prefix(3);
        if (s.starts_with(','))
            s.remove_prefix(1);
    } else {
        const std::size_t comma = s.find(',');
        const Text seq = s.substr(0, comma);
        if (comma == Text::npos || !AllDigits(seq) || seq.size() > 5) {
            p.error = "invalid telemetry";
            return;
        }
        t.sequence = ToInt(seq);
        s.remove_prefix(comma + 1);
    }
    for (int field = 0; field < 6; ++field) {
        const std::size_t comma = s.find(',');
        const Text v = TrimRight(s.substr(0, comma));
        if (field < 5) {
            const std::optional<double> value = ToDouble(v);
            if (!value) {
                if (field == 0 || !v.empty()) {
                    p.error = "invalid telemetry";
                    return;
                }
            } else {
                t.values[static_cast<std::size_t>(t.valueCount++)] = *value;
            }
        } else {
            Text bits = v.substr(0, 8);
            if (bits.size() == 8 && bits.find_first_not_of("01") == Text::npos) {
                std::uint8_t b = 0;
                for (const char c : bits)
                    b = static_cast<std::uint8_t>((b << 1) | (c - '0'));
                t.bits = b;
                p.comment.assign(v.substr(8));
            }
        }
        if (comma == Text::npos)
            break;
        s.remove_prefix(comma + 1);
    }
    p.telemetry = t;
}

void ReadWeather(Text s, system_clock::time_point now, AprsPacket& p)
{
    p.type = AprsType::Weather;
    if (s.size() < 8 || !AllDigits(s.substr(0, 8))) {
        p.error = "invalid weather timestamp";
        return;
    }
    ReadMdhm(s.substr(0, 8), now, p);
    AprsWeather w;
    bool any = false;
    const Text rest = ReadWeatherFields(s.substr(8), w, false, any);
    if (!any) {
        p.error = "no weather data";
        return;
    }
    p.weather = w;
    p.comment.assign(rest);
}

void ReadQuery(Text s, AprsPacket& p)
{
    p.type = AprsType::Query;
    const std::size_t end = s.find('?');
    if (end == Text::npos || end == 0) {
        p.error = "invalid query";
        return;
    }
    p.text = s.substr(0, end);
}

AprsPacket DecodeInformation(Text info, Text destination, system_clock::time_point now, int depth);

void ReadThirdParty(Text s, system_clock::time_point now, int depth, AprsPacket& p)
{
    p.type = AprsType::ThirdParty;
    const std::size_t colon = s.find(':');
    const std::size_t gt = s.find('>');
    if (colon == Text::npos || gt == Text::npos || gt > colon || gt == 0 || depth >= kMaxThirdPartyDepth) {
        p.error = "invalid third-party header";
        return;
    }
    const Text header = s.substr(0, colon);
    const Text route = header.substr(gt + 1);
    const std::size_t comma = route.find(',');
    auto inner =
        std::make_shared<AprsPacket>(DecodeInformation(s.substr(colon + 1), route.substr(0, comma), now, depth + 1));
    inner->source = header.substr(0, gt);
    inner->destination = route.substr(0, comma);
    if (inner->destination.empty()) {
        p.error = "invalid third-party header";
        return;
    }
    for (std::size_t start = comma; start != Text::npos;) {
        const std::size_t next = route.find(',', start + 1);
        inner->path.push_back(route.substr(start + 1, next == Text::npos ? Text::npos : next - start - 1));
        start = next;
    }
    p.inner = std::move(inner);
}

// The position types: "!" "=" without a timestamp, "/" "@" with one.
void ReadPositionReport(char dti, Text s, system_clock::time_point now, AprsPacket& p)
{
    p.type = AprsType::Position;
    p.messaging = dti == '=' || dti == '@';
    if (dti == '/' || dti == '@') {
        if (!ReadTimestamp(s, now, p)) {
            p.error = "invalid timestamp";
            return;
        }
        if (!p.error.empty())
            return;
        s.remove_prefix(7);
    }
    ReadPositionAndComment(s, p);
}

AprsPacket DecodeInformation(Text info, Text destination, system_clock::time_point now, int depth)
{
    AprsPacket p;
    if (info.empty()) {
        p.error = "information field empty";
        return p;
    }
    const Text s = info.substr(1);
    switch (info[0]) {
    case '!':
    case '=':
    case '/':
    case '@': ReadPositionReport(info[0], s, now, p); break;
    case '`':
    case '\'':
    case 0x1C:
    case 0x1D: ReadMicE(info, destination, p); break;
    case '$':
        if (info.starts_with("$GP") || info.starts_with("$GN") || info.starts_with("$GL") || info.starts_with("$GA"))
            ReadNmea(info, now, p);
        break;
    case ';': ReadObject(s, now, p); break;
    case ')': ReadItem(s, p); break;
    case ':': ReadMessage(s, p); break;
    case '>': ReadStatus(s, now, p); break;
    case 'T':
        if (s.starts_with('#'))
            ReadTelemetry(s.substr(1), p);
        break;
    case '_': ReadWeather(s, now, p); break;
    case '?': ReadQuery(s, p); break;
    case '<':
        p.type = AprsType::Capabilities;
        p.text = s;
        break;
    case '}': ReadThirdParty(s, now, depth, p); break;
    case '{':
        p.type = AprsType::UserDefined;
        p.text = s;
        break;
    default:
        // A position whose "!" comes later, within the first 40 characters.
        if (const std::size_t bang = info.find('!');
            bang != Text::npos && bang < 40 && bang > 0 && bang + 1 < info.size() && IsDigit(info[bang + 1]))
            ReadPositionReport('!', info.substr(bang + 1), now, p);
        break;
    }
    if (!p.error.empty() && p.latitude && !ValidPosition(p)) {
        p.latitude.reset();
        p.longitude.reset();
    }
    return p;
}

}  // namespace

std::string_view AprsTypeName(AprsType type)
{
    static constexpr std::array<Text, 16> kNames = {
        "position", "object",    "item",           "message", "ack",          "reject",      "bulletin",     "status",
        "weather",  "telemetry", "telemetry-meta", "query",   "capabilities", "third-party", "user-defined", "unknown"};
    return kNames[static_cast<std::size_t>(type)];
}

std::string_view AprsFormatName(AprsFormat format)
{
    static constexpr std::array<Text, 5> kNames = {"", "uncompressed", "compressed", "mic-e", "nmea"};
    return kNames[static_cast<std::size_t>(format)];
}

std::optional<AprsPacket> DecodeAprs(const AprsInput& input)
{
    if ((input.control & ~0x10) != 0x03 || input.pid != 0xF0)  // UI, poll bit either way
        return std::nullopt;
    const Text info(reinterpret_cast<const char*>(input.payload.data()), input.payload.size());
    return DecodeInformation(info, input.destination, input.time, 0);
}

}  // namespace quillon
