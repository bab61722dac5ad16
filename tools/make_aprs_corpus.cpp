// quillon-mkaprs: writes a corpus of made-up APRS traffic, the same packets
// in the same order twice: as a raw KISS log (a time frame before every frame,
// as the program records it with TIMEFRAMES=YES) and as TNC2 text lines
// (SRC>DST,DIGI*,DIGI:payload, the payload's bytes as sent), the form Dire
// Wolf's decode_aprs and the other APRS tools read.
//
//   quillon-mkaprs [--count N] [--seed S] [--labels FILE] OUT.kss OUT.tnc2
//
// The packets come from a seeded generator (the same seed, the same corpus on
// every machine) and cover every kind of APRS packet: positions (uncompressed
// with and without timestamp and ambiguity, compressed with each use of the
// cs bytes, Mic-E, NMEA RMC/GGA/GLL), objects, items, messages, acks,
// rejects, bulletins, announcements, status, weather, telemetry and its
// PARM/UNIT/EQNS/BITS messages, queries, capabilities, third-party,
// user-defined, unknown and malformed packets. --labels writes the kind each
// packet was made as, one a line, for the cross-checks to group by.
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "ax25_encoder.h"
#include "timesvc/timesvc.h"
#include "tnc/time_frame.h"

using namespace quillon;

namespace {

// std::mt19937 gives the same numbers everywhere; the standard's
// distributions do not, so the draws are made here.
class Draw {
public:
    explicit Draw(std::uint32_t seed) : engine_(seed) {}
    int Int(int low, int high) { return low + int(engine_() % std::uint32_t(high - low + 1)); }  // both included
    bool Chance(int percent) { return Int(0, 99) < percent; }
    double Real(double low, double high) { return low + (high - low) * (engine_() / 4294967296.0); }
    char Of(std::string_view set) { return set[std::size_t(Int(0, int(set.size()) - 1))]; }
    template <typename T>
    const T& Pick(const std::vector<T>& v)
    {
        return v[std::size_t(Int(0, int(v.size()) - 1))];
    }

private:
    std::mt19937 engine_;
};

constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view kDigits = "0123456789";

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...)
{
    char buffer[256];
    std::va_list values;
    va_start(values, format);
    std::vsnprintf(buffer, sizeof buffer, format, values);
    va_end(values);
    return buffer;
}

struct Packet {
    std::string label;  // the kind it was made as
    Ax25Frame frame;
};

class CorpusMaker {
public:
    explicit CorpusMaker(std::uint32_t seed) : d_(seed) {}

    Packet Next();

private:
    std::string Callsign();
    Ax25Address Station() { return {Callsign(), d_.Chance(50) ? 0 : d_.Int(1, 15), false}; }
    std::vector<Ax25Address> Path();
    std::string Comment(int maxWords = 4);
    std::string Symbol(bool overlays = true);  // table and code
    std::string Timestamp();
    std::string Latitude(double degrees, int ambiguity = 0);
    std::string Longitude(double degrees, int ambiguity = 0);
    std::string Uncompressed(int ambiguity = 0);
    std::string Compressed(std::string& label);
    std::string Extension();
    std::string WeatherFields(bool positionless);
    std::string PositionBody(std::string& label);  // uncompressed or compressed, with extras
    std::string Name(int length);

    Packet Position();
    Packet MicE();
    Packet Nmea();
    Packet Object();
    Packet Item();
    Packet Message();
    Packet Status();
    Packet Weather();
    Packet Telemetry();
    Packet Other();
    Packet Malformed();

    Packet Make(std::string label, std::string info, std::string destination = {})
    {
        Ax25Frame frame;
        frame.destination = {destination.empty() ? d_.Pick(destinations_) : destination, 0, false};
        frame.source = Station();
        frame.digipeaters = Path();
        frame.info = std::move(info);
        return {std::move(label), std::move(frame)};
    }

    Draw d_;
    const std::vector<std::string> destinations_ = {"APRS", "APZ123", "APDW16", "APN382", "APX219", "BEACON"};
    const std::vector<std::string> words_ = {"Test",     "station", "igate",   "digi",   "RELAY", "on",   "146.520MHz",
                                             "Net",      "at",      "8pm",     "mobile", "QRV",   "73",   "hello",
                                             "portable", "T123",    "weather", "club",   "home",  "C0DE", "node"};
};

std::string CorpusMaker::Callsign()
{
    std::string call;
    call += d_.Of(kLetters);
    if (d_.Chance(60))
        call += d_.Chance(70) ? d_.Of(kLetters) : d_.Of(kDigits);
    call += d_.Of(kDigits);
    for (int i = d_.Int(1, 3); i > 0; --i)
        call += d_.Of(kLetters);
    return call;
}

std::vector<Ax25Address> CorpusMaker::Path()
{
    static const std::vector<Ax25Address> kDigis = {{"WIDE1", 1}, {"WIDE2", 1}, {"WIDE2", 2},
                                                    {"RELAY", 0}, {"WIDE3", 3}, {"TRACE", 2}};
    std::vector<Ax25Address> path;
    const int hops = d_.Int(0, 3), repeated = d_.Int(0, hops);
    for (int i = 0; i < hops; ++i) {
        Ax25Address a = i < repeated && d_.Chance(50) ? Station() : d_.Pick(kDigis);
        a.bit7 = i < repeated;
        path.push_back(a);
    }
    return path;
}

std::string CorpusMaker::Comment(int maxWords)
{
    std::string text;
    for (int i = d_.Int(0, maxWords); i > 0; --i)
        text += (text.empty() ? "" : " ") + d_.Pick(words_);
    return text;
}

std::string CorpusMaker::Symbol(bool overlays)
{
    std::string s;
    const int table = d_.Int(0, 9);
    s += table < 6 ? '/' : table < 9 || !overlays ? '\\' : d_.Of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    // Weather ('_') only where the packet is made as weather.
    char code = '_';
    while (code == '_')
        code = char(d_.Int('!', '~'));
    return s + code;
}

std::string CorpusMaker::Timestamp()
{
    switch (d_.Int(0, 2)) {
    case 0: return Format("%02d%02d%02dz", d_.Int(1, 28), d_.Int(0, 23), d_.Int(0, 59));
    case 1: return Format("%02d%02d%02d/", d_.Int(1, 28), d_.Int(0, 23), d_.Int(0, 59));
    default: return Format("%02d%02d%02dh", d_.Int(0, 23), d_.Int(0, 59), d_.Int(0, 59));
    }
}

// ddmm.hhN with the last `ambiguity` digits blank.
std::string CorpusMaker::Latitude(double degrees, int ambiguity)
{
    const int hundredths = int(std::lround(std::fabs(degrees) * 6000));
    std::string s =
        Format("%02d%02d.%02d%c", hundredths / 6000, hundredths / 100 % 60, hundredths % 100, degrees < 0 ? 'S' : 'N');
    for (int digit : {6, 5, 3, 2}) {
        if (ambiguity-- <= 0)
            break;
        s[std::size_t(digit)] = ' ';
    }
    return s;
}

std::string CorpusMaker::Longitude(double degrees, int ambiguity)
{
    const int hundredths = int(std::lround(std::fabs(degrees) * 6000));
    std::string s =
        Format("%03d%02d.%02d%c", hundredths / 6000, hundredths / 100 % 60, hundredths % 100, degrees < 0 ? 'W' : 'E');
    for (int digit : {7, 6, 4, 3}) {
        if (ambiguity-- <= 0)
            break;
        s[std::size_t(digit)] = ' ';
    }
    return s;
}

std::string CorpusMaker::Uncompressed(int ambiguity)
{
    const std::string symbol = Symbol();
    return Latitude(d_.Real(-89.99, 89.99), ambiguity) + symbol[0] + Longitude(d_.Real(-179.99, 179.99), ambiguity) +
           symbol[1];
}

void AppendBase91(std::string& out, long value, int digits)
{
    std::string s(std::size_t(digits), '!');
    for (int i = digits - 1; i >= 0; --i, value /= 91)
        s[std::size_t(i)] = char('!' + value % 91);
    out += s;
}

// /YYYYXXXX$csT with cs unused, course/speed, range or altitude.
std::string CorpusMaker::Compressed(std::string& label)
{
    const double lat = d_.Real(-89.99, 89.99), lon = d_.Real(-179.99, 179.99);
    const std::string symbol = Symbol(false);
    std::string s;
    // An overlay travels as a-j for a digit, A-Z for a letter.
    s += d_.Chance(85) ? symbol[0] : d_.Chance(50) ? char('a' + d_.Int(0, 9)) : d_.Of(kLetters);
    AppendBase91(s, std::lround(380926.0 * (90 - lat)), 4);
    AppendBase91(s, std::lround(190463.0 * (180 + lon)), 4);
    s += symbol[1];
    const int origin = d_.Int(0, 7), fix = d_.Int(0, 1) << 5;
    switch (d_.Int(0, 3)) {
    case 0:
        label += "-nocs";
        s += " " + std::string(1, char('!' + d_.Int(0, 90))) + char('!' + d_.Int(0, 90));
        break;
    case 1:
        label += "-course";
        s += char('!' + d_.Int(0, 89));
        s += char('!' + d_.Int(0, 89));
        s += char('!' + (fix | (d_.Chance(50) ? 3 : 0) << 3 | origin));
        break;
    case 2:
        label += "-range";
        s += '{';
        s += char('!' + d_.Int(0, 89));
        s += char('!' + (fix | origin));
        break;
    default: {
        label += "-altitude";
        const int cs = d_.Int(0, 5000);  // 1.002^cs feet
        s += char('!' + cs / 91);
        s += char('!' + cs % 91);
        s += char('!' + (fix | 2 << 3 | origin));
    }
    }
    return s;
}

// A data extension after the symbol code, or nothing.
std::string CorpusMaker::Extension()
{
    switch (d_.Int(0, 5)) {
    case 0: return Format("%03d/%03d", d_.Int(1, 360), d_.Int(0, 200));
    case 1: return Format("PHG%d%d%d%d", d_.Int(0, 9), d_.Int(0, 9), d_.Int(0, 9), d_.Int(0, 8));
    case 2: return Format("RNG%04d", d_.Int(1, 500));
    case 3: return Format("DFS%d%d%d%d", d_.Int(0, 9), d_.Int(0, 9), d_.Int(0, 9), d_.Int(0, 8));
    default: return "";
    }
}

std::string CorpusMaker::WeatherFields(bool positionless)
{
    std::string s;
    if (positionless)
        s += Format("c%03ds%03d", d_.Int(0, 360), d_.Int(0, 60));
    else
        s += Format("%03d/%03d", d_.Int(0, 360), d_.Int(0, 60));
    const int fahrenheit = d_.Int(-40, 110);
    s += Format(fahrenheit < 0 ? "g%03dt-%02d" : "g%03dt%03d", d_.Int(0, 90), std::abs(fahrenheit));
    if (d_.Chance(70))
        s += Format("r%03dp%03dP%03d", d_.Int(0, 200), d_.Int(0, 400), d_.Int(0, 400));
    if (d_.Chance(70))
        s += Format("h%02d", d_.Int(0, 99));
    if (d_.Chance(70))
        s += Format("b%05d", d_.Int(9500, 10500));
    if (d_.Chance(20))
        s += Format("L%03d", d_.Int(0, 999));
    if (d_.Chance(30))
        s += d_.Pick(std::vector<std::string>{"wRSW", "eMB31", "xDvs", ".DsVP"});
    return s;
}

std::string CorpusMaker::PositionBody(std::string& label)
{
    if (d_.Chance(30)) {
        label += "-compressed";
        return Compressed(label) + Comment();
    }
    const int ambiguity = d_.Chance(20) ? d_.Int(1, 4) : 0;
    if (ambiguity > 0)
        label += "-ambiguity";
    std::string s = Uncompressed(ambiguity) + Extension();
    if (d_.Chance(20))
        s += Format(" /A=%06d", d_.Int(0, 30000));
    s += Comment();
    if (ambiguity == 0 && d_.Chance(10)) {
        label += "-dao";
        s += Format("!W%c%c!", d_.Of(kDigits), d_.Of(kDigits));
    }
    if (d_.Chance(5)) {
        std::string telemetry = "|";
        AppendBase91(telemetry, d_.Int(0, 8280), 2);
        for (int i = d_.Int(1, 5); i > 0; --i)
            AppendBase91(telemetry, d_.Int(0, 8280), 2);
        s += telemetry + "|";
    }
    return s;
}

std::string CorpusMaker::Name(int length)
{
    std::string s;
    for (int i = 0; i < length; ++i)
        s += d_.Of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-# ");
    if (s[0] == ' ')
        s[0] = 'X';
    if (s.back() == ' ')
        s.back() = 'Y';
    return s;
}

Packet CorpusMaker::Position()
{
    std::string label = "position";
    std::string info;
    if (d_.Chance(50)) {
        info += d_.Of("!=");
    } else {
        label += "-timestamp";
        info += d_.Of("/@") + Timestamp();
    }
    info += PositionBody(label);
    return Make(label, info);
}

// Mic-E: latitude, message bits and offsets in the destination, longitude,
// speed and course in the information field.
Packet CorpusMaker::MicE()
{
    const double lat = d_.Real(-89.99, 89.99), lon = d_.Real(-179.99, 179.99);
    const int latHundredths = int(std::lround(std::fabs(lat) * 6000));
    const std::string digits =
        Format("%02d%02d%02d", latHundredths / 6000, latHundredths / 100 % 60, latHundredths % 100);
    // Message bits A, B, C: standard (P-Y for 1), custom (A-J for 1) or 0.
    const bool custom = d_.Chance(20);
    const int message = d_.Int(0, 7);
    std::string label = custom ? "mic-e-custom" : "mic-e";
    std::string destination;
    for (int i = 0; i < 3; ++i) {
        const int digit = digits[std::size_t(i)] - '0';
        const bool one = message >> (2 - i) & 1;
        destination += char(!one ? '0' + digit : custom ? 'A' + digit : 'P' + digit);
    }
    const int lonDegrees = int(std::fabs(lon));
    const bool offset = lonDegrees < 10 || lonDegrees >= 100;
    destination += char((lat >= 0 ? 'P' : '0') + digits[3] - '0');
    destination += char((offset ? 'P' : '0') + digits[4] - '0');
    destination += char((lon < 0 ? 'P' : '0') + digits[5] - '0');

    const int lonHundredths = int(std::lround((std::fabs(lon) - lonDegrees) * 6000));
    const int minutes = std::min(lonHundredths / 100, 59), hundredths = lonHundredths % 100;
    std::string info(1, d_.Chance(80) ? '`' : '\'');
    info += char(lonDegrees < 10 ? lonDegrees + 118 : lonDegrees < 100 ? lonDegrees + 28 : lonDegrees - 100 + 28);
    info += char(minutes < 10 ? minutes + 88 : minutes + 28);
    info += char(hundredths + 28);
    const int knots = d_.Int(0, 250), course = d_.Int(0, 360);
    const int sp = knots / 10, dc = knots % 10 * 10 + course / 100;
    info += char(sp < 4 ? sp + 108 : sp + 28);  // both read the same; the first keeps clear of control bytes
    info += char(dc < 4 ? dc + 28 + 40 : dc + 28);
    info += char(course % 100 + 28);
    const std::string symbol = Symbol();
    info += symbol[1];
    info += symbol[0];
    if (d_.Chance(50)) {
        label += "-altitude";
        info += d_.Chance(50) ? "`" : "";
        AppendBase91(info, d_.Int(10000 - 100, 10000 + 9000), 3);
        info += '}';
    }
    info += Comment(3);
    return Make(label, info, destination);
}

std::string NmeaChecksummed(const std::string& sentence)
{
    int sum = 0;
    for (char c : sentence.substr(1))
        sum ^= static_cast<unsigned char>(c);
    return sentence + Format("*%02X", sum);
}

Packet CorpusMaker::Nmea()
{
    const double lat = d_.Real(-89.99, 89.99), lon = d_.Real(-179.99, 179.99);
    const int la = int(std::lround(std::fabs(lat) * 60000)), lo = int(std::lround(std::fabs(lon) * 60000));
    const std::string latText = Format("%02d%02d.%03d,%c", la / 60000, la / 1000 % 60, la % 1000, lat < 0 ? 'S' : 'N');
    const std::string lonText = Format("%03d%02d.%03d,%c", lo / 60000, lo / 1000 % 60, lo % 1000, lon < 0 ? 'W' : 'E');
    const std::string time = Format("%02d%02d%02d", d_.Int(0, 23), d_.Int(0, 59), d_.Int(0, 59));
    switch (d_.Int(0, 2)) {
    case 0:
        return Make("nmea-rmc",
                    NmeaChecksummed(Format("$GPRMC,%s,A,%s,%s,%05.1f,%05.1f,%02d%02d%02d,003.1,W", time.c_str(),
                                           latText.c_str(), lonText.c_str(), d_.Real(0, 120), d_.Real(0, 359.9),
                                           d_.Int(1, 28), d_.Int(1, 12), d_.Int(0, 99))));
    case 1:
        return Make("nmea-gga",
                    NmeaChecksummed(Format("$GPGGA,%s,%s,%s,1,%02d,0.9,%.1f,M,46.9,M,,", time.c_str(), latText.c_str(),
                                           lonText.c_str(), d_.Int(3, 12), d_.Real(0, 3000))));
    default:
        return Make("nmea-gll",
                    NmeaChecksummed(Format("$GPGLL,%s,%s,%s,A", latText.c_str(), lonText.c_str(), time.c_str())));
    }
}

Packet CorpusMaker::Object()
{
    const bool alive = d_.Chance(80);
    std::string label = alive ? "object" : "object-killed";
    std::string info = ";" + Name(d_.Int(1, 9));
    info.resize(10, ' ');
    info += alive ? '*' : '_';
    info += Format("%02d%02d%02d%c", d_.Int(1, 28), d_.Int(0, 23), d_.Int(0, 59), d_.Chance(80) ? 'z' : '/');
    info += PositionBody(label);
    return Make(label, info);
}

Packet CorpusMaker::Item()
{
    const bool alive = d_.Chance(80);
    std::string label = alive ? "item" : "item-killed";
    std::string info = ")" + Name(d_.Int(3, 9)) + (alive ? "!" : "_");
    info += PositionBody(label);
    return Make(label, info);
}

std::string Addressee(std::string name)
{
    name.resize(9, ' ');
    return ":" + name + ":";
}

Packet CorpusMaker::Message()
{
    const std::string to = Callsign() + (d_.Chance(40) ? Format("-%d", d_.Int(1, 15)) : "");
    const std::string id = Format("%d", d_.Int(1, 99999));
    switch (d_.Int(0, 9)) {
    case 0: return Make("ack", Addressee(to) + "ack" + id);
    case 1: return Make("reject", Addressee(to) + "rej" + id);
    case 2:
        return Make("bulletin", Addressee(Format("BLN%d", d_.Int(0, 9)) + (d_.Chance(30) ? "WX" : "")) + Comment(8));
    case 3: return Make("announcement", Addressee(Format("BLN%c", d_.Of(kLetters))) + Comment(8));
    case 4: {
        static const std::vector<std::string> kMeta = {"PARM.Battery,Btemp,ATemp,Pres,Alt,Camra,Chute,Sun,10m,ATV",
                                                       "UNIT.Volts,deg.F,deg.F,Mbar,Kft,Click,OPEN,on,on,hi",
                                                       "EQNS.0,5.2,0,0,.53,-32,3,4.39,49,-32,3,18,1,2,3",
                                                       "BITS.10110000,Club balloon"};
        return Make("telemetry-meta", Addressee(to) + d_.Pick(kMeta));
    }
    case 5: return Make("message-noid", Addressee(to) + Comment(8));
    default: return Make("message", Addressee(to) + Comment(8) + "{" + id);
    }
}

Packet CorpusMaker::Status()
{
    switch (d_.Int(0, 2)) {
    case 0: return Make("status", ">" + Comment(6));
    case 1:
        return Make("status-timestamp",
                    ">" + Format("%02d%02d%02dz", d_.Int(1, 28), d_.Int(0, 23), d_.Int(0, 59)) + Comment(6));
    default:
        return Make("status-locator",
                    Format(">%c%c%02d%c%c%c", d_.Of("ABCDEFGHIJKLMNOPQR"), d_.Of("ABCDEFGHIJKLMNOPQR"), d_.Int(0, 99),
                           d_.Of("ABCDEFGHIJKLMNOPQRSTUVWX"), d_.Of("ABCDEFGHIJKLMNOPQRSTUVWX"), '/') +
                        d_.Of("G>-") + " " + Comment(3));
    }
}

Packet CorpusMaker::Weather()
{
    if (d_.Chance(50))
        return Make("weather", Format("_%02d%02d%02d%02d", d_.Int(1, 12), d_.Int(1, 28), d_.Int(0, 23), d_.Int(0, 59)) +
                                   WeatherFields(true));
    std::string label = "position-weather";
    std::string info(1, d_.Of("!=@/"));
    if (info[0] == '@' || info[0] == '/')
        info += Format("%02d%02d%02dz", d_.Int(1, 28), d_.Int(0, 23), d_.Int(0, 59));
    info += Latitude(d_.Real(-89.99, 89.99)) + "/" + Longitude(d_.Real(-179.99, 179.99)) + "_";
    return Make(label, info + WeatherFields(false));
}

Packet CorpusMaker::Telemetry()
{
    std::string info = Format("T#%03d", d_.Int(0, 999));
    for (int i = 0; i < 5; ++i)
        info += Format(",%d", d_.Int(0, 255));
    info += ",";
    for (int i = 0; i < 8; ++i)
        info += d_.Of("01");
    return Make("telemetry", info);
}

Packet CorpusMaker::Other()
{
    switch (d_.Int(0, 6)) {
    case 0:
        return Make("query",
                    d_.Pick(std::vector<std::string>{"?APRS?", "?IGATE?", "?WX?", "?APRS? 34.02,-117.15,0200"}));
    case 1: return Make("capabilities", "<IGATE,MSG_CNT=" + Format("%d,LOC_CNT=%d", d_.Int(0, 999), d_.Int(0, 999)));
    case 2: {
        // The inner packet carries its own header; the outer path ends in
        // the gateway that handed it on.
        Packet inner = d_.Chance(50) ? Position() : Status();
        std::string header = inner.frame.source.callsign;
        if (inner.frame.source.ssid != 0)
            header += Format("-%d", inner.frame.source.ssid);
        header += ">" + inner.frame.destination.callsign + ",TCPIP," + Callsign() + "*:";
        return Make("third-party", "}" + header + inner.frame.info);
    }
    case 3: return Make("user-defined", "{" + std::string(1, d_.Of(kLetters)) + d_.Of(kLetters) + Comment(3));
    default:
        return Make("unknown",
                    std::string(1, d_.Of("0123456789ABCDEFGHIJKLMNOPQRSUVWXYZbcdefghijklnopqrsuvwxyz")) + Comment(4));
    }
}

// Packets with a fault the decoders must name, not decode into a position.
Packet CorpusMaker::Malformed()
{
    const std::string symbol = Symbol();
    const double lat = d_.Real(-89.99, 89.99), lon = d_.Real(-179.99, 179.99);
    switch (d_.Int(0, 6)) {
    case 0: {  // a letter among the latitude's digits
        std::string latText = Latitude(lat);
        // Not the first: a letter there starts a compressed position.
        latText[std::string_view("12356")[std::size_t(d_.Int(0, 4))] - '0'] = 'O';
        return Make("malformed-latitude", "!" + latText + symbol[0] + Longitude(lon) + symbol[1]);
    }
    case 1:  // beyond 90 degrees
        return Make("malformed-latitude-range",
                    "!" + Format("%02d%02d.%02dN", d_.Int(91, 99), d_.Int(0, 59), d_.Int(0, 99)) + symbol[0] +
                        Longitude(lon) + symbol[1]);
    case 2:  // beyond 180 degrees
        return Make("malformed-longitude-range",
                    "=" + Latitude(lat) + symbol[0] +
                        Format("%03d%02d.%02dE", d_.Int(181, 199), d_.Int(0, 59), d_.Int(0, 99)) + symbol[1]);
    case 3:  // cut short
        return Make("malformed-short", "!" + Latitude(lat).substr(0, std::size_t(d_.Int(2, 8))));
    case 4: {  // Mic-E without its whole information field
        Packet p = MicE();
        p.frame.info.resize(std::size_t(d_.Int(1, 7)));
        p.label = "malformed-mic-e-short";
        return p;
    }
    case 5: {  // minutes of 60 or more
        return Make("malformed-minutes", "!" + Format("%02d%02d.%02dN", d_.Int(0, 89), d_.Int(60, 99), d_.Int(0, 99)) +
                                             symbol[0] + Longitude(lon) + symbol[1]);
    }
    default:  // no hemisphere letter
        std::string latText = Latitude(lat);
        latText.back() = 'X';
        return Make("malformed-hemisphere", "!" + latText + symbol[0] + Longitude(lon) + symbol[1]);
    }
}

Packet CorpusMaker::Next()
{
    const int kind = d_.Int(0, 99);
    if (kind < 22)
        return Position();
    if (kind < 34)
        return MicE();
    if (kind < 40)
        return Nmea();
    if (kind < 47)
        return Object();
    if (kind < 52)
        return Item();
    if (kind < 67)
        return Message();
    if (kind < 73)
        return Status();
    if (kind < 80)
        return Weather();
    if (kind < 84)
        return Telemetry();
    if (kind < 95)
        return Other();
    return Malformed();
}

std::string Tnc2Address(const Ax25Address& a) { return a.ssid == 0 ? a.callsign : a.callsign + Format("-%d", a.ssid); }

// SRC>DST,DIGI*,DIGI:payload, the star behind the last digipeater that
// repeated the frame.
std::string Tnc2Line(const Ax25Frame& frame)
{
    std::string line = Tnc2Address(frame.source) + ">" + Tnc2Address(frame.destination);
    std::size_t repeated = 0;
    for (std::size_t i = 0; i < frame.digipeaters.size(); ++i)
        if (frame.digipeaters[i].bit7)
            repeated = i + 1;
    for (std::size_t i = 0; i < frame.digipeaters.size(); ++i)
        line += "," + Tnc2Address(frame.digipeaters[i]) + (i + 1 == repeated ? "*" : "");
    return line + ":" + frame.info + "\n";
}

bool WriteFile(const char* path, const std::string& bytes)
{
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    constexpr std::string_view kUsage =
        "usage: quillon-mkaprs [--count N] [--seed S] [--labels FILE] OUT.kss OUT.tnc2\n";
    const CommandLine commandLine("quillon-mkaprs",
                                  "usage: quillon-mkaprs [--count N] [--seed S] [--labels FILE] OUT.kss OUT.tnc2\n"
                                  "Writes a corpus of made-up APRS packets of every kind twice, the same packets\n"
                                  "in the same order: as a raw KISS log with a time frame before every frame\n"
                                  "into OUT.kss, and as TNC2 text lines (SRC>DST,PATH:payload) into OUT.tnc2.\n"
                                  "\n"
                                  "  --count N       N packets (default 6000)\n"
                                  "  --seed S        the generator's seed (default 1); the same seed, the same corpus\n"
                                  "  --labels FILE   also write the kind each packet was made as, one a line\n"
                                  "  --help          show this help and exit\n"
                                  "  --version       show the version and exit\n",
                                  kUsage);
    long count = 6000;
    std::uint32_t seed = 1;
    const char* labelsPath = nullptr;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        commandLine.HandleStandardOption(arg);
        if ((arg == "--count" || arg == "--seed" || arg == "--labels") && i + 1 < argc) {
            const char* value = argv[++i];
            char* end = nullptr;
            const long number = std::strtol(value, &end, 10);
            if (arg == "--labels")
                labelsPath = value;
            else if (*end != '\0' || number < (arg == "--count" ? 1 : 0))
                commandLine.Misuse();
            else if (arg == "--count")
                count = number;
            else
                seed = std::uint32_t(number);
        } else if (arg.starts_with("-") && arg.size() > 1) {
            commandLine.UnknownOption(arg);
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2)
        commandLine.Misuse();

    CorpusMaker maker(seed);
    // One packet a second from a fixed moment.
    auto time = *ParseTimestamp("2026-03-14 09:00:00.000");
    std::string kss, tnc2, labels;
    for (long i = 0; i < count; ++i, time += std::chrono::milliseconds(1000 + i % 7 * 131)) {
        const Packet packet = maker.Next();
        const ByteString ax25 = EncodeAx25(packet.frame);
        const ByteString kiss = EncodeKissFrame(0x00, ax25);
        kss += EncodeTimeFrame(time);
        kss.append(kiss.begin(), kiss.end());
        tnc2 += Tnc2Line(packet.frame);
        labels += packet.label + "\n";
    }
    const std::pair<const char*, const std::string*> outputs[] = {
        {files[0], &kss}, {files[1], &tnc2}, {labelsPath, &labels}};
    for (const auto& [path, bytes] : outputs) {
        if (path != nullptr && !WriteFile(path, *bytes)) {
            std::fprintf(stderr, "quillon-mkaprs: cannot write %s\n", path);
            return 1;
        }
    }
    return 0;
}
