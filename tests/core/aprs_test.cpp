// The APRS decoder, one table per format: what each packet says, and why a malformed one is malformed.
#include <cmath>
#include <sstream>

#include "core_test.h"
#include "aprs/aprs.h"
#include "decoder/frame_aprs.h"
#include "decoder/frame_json.h"
#include "timesvc/timesvc.h"

namespace quillon::test { namespace {

AprsPacket Decode(std::string_view info, std::string_view destination = "APRS")
{
    const AprsInput input{.source = "N0CALL", .destination = destination, .digipeaters = {}, .control = 0x03, .pid = 0xF0,
                          .payload = std::span(reinterpret_cast<const std::uint8_t*>(info.data()), info.size()),
                          .time = kExampleTime};
    return DecodeAprs(input).value();
}

// The fields a table checks, in one line: "lat,lon" to six decimals, the rest only where present.
std::string Fields(const AprsPacket& p)
{
    std::ostringstream o;
    o.setf(std::ios::fixed);
    const auto opt = [&o](const char* name, const auto& v) { if (v) o << ' ' << name << *v; };
    const auto str = [&o](const char* name, std::string_view v) { if (!v.empty()) o << ' ' << name << v; };
    o << AprsTypeName(p.type);
    if (p.format != AprsFormat::None)
        o << ' ' << AprsFormatName(p.format);
    o.precision(6);
    if (p.latitude)
        o << ' ' << *p.latitude << ',' << *p.longitude;
    o.precision(2);
    if (p.ambiguity)
        o << " amb" << p.ambiguity;
    if (p.symbolTable)
        o << ' ' << p.symbolTable << p.symbolCode;
    opt("cse", p.course), opt("spd", p.speed), opt("alt", p.altitude), opt("rng", p.range), str("phg", p.phg);
    str("dfs", p.dfs);
    if (p.messaging)
        o << (*p.messaging ? " msg" : " nomsg");
    if (!p.micEMessage.empty())
        o << " [" << p.micEMessage << ']';
    str("ts", p.timestamp);
    if (p.time)  // " 2013-07-28T14:05:09"
        o << ' ' << FormatTimestamp(*p.time).substr(0, 10) << 'T' << FormatTimestamp(*p.time).substr(11, 8);
    if (!p.name.empty())
        o << " name=" << p.name << (p.alive == true ? "(alive)" : "(killed)");
    str("to=", p.addressee), str("text=", p.text), str("id=", p.messageId), str("loc=", p.locator);
    if (const auto& w = p.weather) {
        o << " wx";
        opt("dir", w->windDirection), opt("wind", w->windSpeed), opt("gust", w->windGust), opt("temp", w->temperature);
        opt("r1h", w->rain1h), opt("r24h", w->rain24h), opt("rmid", w->rainMidnight), opt("hum", w->humidity);
        opt("hpa", w->pressure), opt("lum", w->luminosity);
    }
    if (p.telemetry) {
        o.precision(1);
        o << " tlm";
        opt("#", p.telemetry->sequence);
        for (int i = 0; i < p.telemetry->valueCount; ++i)
            o << ' ' << p.telemetry->values[std::size_t(i)];
        if (p.telemetry->bits)
            o << " bits" << int(*p.telemetry->bits);
    }
    if (!p.comment.empty())
        o << " '" << p.comment << '\'';
    if (p.inner) {
        o << " inner " << p.inner->source << '>' << p.inner->destination;
        for (const std::string_view hop : p.inner->path)
            o << ',' << hop;
        o << ": " << Fields(*p.inner);
    }
    str("error: ", p.error);
    return o.str();
}

struct Row { const char* info; const char* fields; const char* destination = "APRS"; };

TEST(Aprs, EachFormatDecodesToItsFields)
{
    const Row rows[] = {
        // Uncompressed positions and their extensions.
        {"!4903.  N/07201.75W-", "position uncompressed 49.058333,-72.025000 amb2 /- nomsg"},  // the latitude blanks both
        {"@092345/4903.50N/07201.75W>", "position uncompressed 49.058333,-72.029167 /> msg ts092345/"},
        {"/234517h4903.50N/07201.75W>", "position uncompressed 49.058333,-72.029167 /> nomsg ts234517h 2013-07-27T23:45:17"},
        {"!4903.50N/07201.75W>000/000x", "position uncompressed 49.058333,-72.029167 /> spd0.00 nomsg 'x'"},
        {"!4903.50N/07201.75W#PHG5132Digi", "position uncompressed 49.058333,-72.029167 /# phg5132 nomsg 'Digi'"},
        {"!4903.50N/07201.75W#RNG0050", "position uncompressed 49.058333,-72.029167 /# rng80.47 nomsg"},
        {"!4903.50N/07201.75W\\DFS2360", "position uncompressed 49.058333,-72.029167 /\\ dfs2360 nomsg"},
        {"!4903.50N/07201.75W>Hi /A=001234 there", "position uncompressed 49.058333,-72.029167 /> alt376.12 nomsg "
                                                   "'Hi  there'"},
        {"!4903.50N/07201.75W>/A=-00012", "position uncompressed 49.058333,-72.029167 /> alt-3.66 nomsg"},
        {"!4903.50N/07201.75W>Car!W47!", "position uncompressed 49.058400,-72.029283 /> nomsg 'Car'"},
        {"!4903.50S/07201.75E>!w%Z!", "position uncompressed -49.058340,72.029272 /> nomsg"},
        {"!4903.50N/07201.75W>|!\"!#!$|Tlm", "position uncompressed 49.058333,-72.029167 /> nomsg tlm #1 2.0 3.0 'Tlm'"},
        {"XYZ!4903.50N/07201.75W-", "position uncompressed 49.058333,-72.029167 /- nomsg"},  // "!" late
        // Compressed positions.
        {"=/5L!!<*e7>7P[", "position compressed 49.500000,-72.750004 /> cse88 spd67.10 msg"},
        {"!/5L!!<*e7>{?!", "position compressed 49.500000,-72.750004 /> rng32.39 nomsg"},
        {"!/5L!!<*e7OS]S", "position compressed 49.500000,-72.750004 /O alt3049.38 nomsg"},
        {"!a5L!!<*e7>   ", "position compressed 49.500000,-72.750004 0> nomsg"},  // overlay 0 sent as "a"
        {"@092345z/5L!!<*e7_7P[g005t077", "position compressed 49.500000,-72.750004 /_ msg ts092345z 2013-07-09T23:45:00"
                                         " wx dir88 wind18.64 gust2.24 temp25.00"},
        // Mic-E.
        // S32U6T: 33 25.64 N, West, no longitude offset, message bits 1 0 0 (standard): "Returning"
        {"'(_fn\"Oj/]\"4T}=", "position mic-e 33.427333,-12.129000 /j cse251 spd37.04 alt61.00 [Returning] ']='",
         "S32U6T"},
        {"`(_f\x1c\x1c\x1cj/", "position mic-e -33.427333,12.129000 /j spd0.00 [Emergency]", "332564-4"},  // all bits 0
        {"`(_fn\"Oj/", "position mic-e 33.427333,-112.129000 /j cse251 spd37.04 [Custom-0]", "DDCUVT"},
        {"`(_fn\"Oj/", "position mic-e 33.427333,-112.129000 /j cse251 spd37.04 [Unknown]", "DSCUVT"},
        {"`(_fn\"Oj/", "position mic-e 33.425000,-112.125000 amb2 /j cse251 spd37.04 [Off Duty]", "SSRUZZ"},
        // NMEA.
        {"$GPRMC,063909,A,3349.4302,N,11700.3721,W,43.022,89.3,291099,13.6,E*52",
         "position nmea 33.823837,-117.006202 cse89 spd79.68 ts063909 2013-07-28T06:39:09"},
        {"$GPGGA,102705,5157.9762,N,00029.3256,W,1,04,2.0,75.7,M,47.6,M,,*62",
         "position nmea 51.966270,-0.488760 alt75.70 ts102705 2013-07-28T10:27:05"},
        {"$GPGLL,2554.459,N,08020.187,W,154027.281,A", "position nmea 25.907650,-80.336450 ts154027.281 2013-07-27T15:40:27"},
        {"$GPRMC,063909,A,9149.4302,N,11700.3721,W,43.022,89.3,291099", "position nmea ts063909 2013-07-28T06:39:09 "
                                                                        "error: invalid latitude"},
        {"$ULTW0031003702CE0069----000086A00001", "unknown"},
        // Objects and items.
        {";LEADER   *092345z4903.50N/07201.75W>088/036", "object uncompressed 49.058333,-72.029167 /> cse88 spd66.67 "
                                                        "ts092345z 2013-07-09T23:45:00 name=LEADER(alive)"},
        {")AID #2!4903.50N/07201.75WA", "item uncompressed 49.058333,-72.029167 /A name=AID #2(alive)"},
        {")G/WB4APR_4903.50N/07201.75WA", "item uncompressed 49.058333,-72.029167 /A name=G/WB4APR(killed)"},
        // Messages and bulletins.
        {":WU2Z     :Reply{MM}AA\r", "message to=WU2Z text=Reply id=MM}AA"},
        {":KB2ICI-14:ack003", "ack to=KB2ICI-14 id=003"},
        {":KB2ICI-14:rej003", "reject to=KB2ICI-14 id=003"},
        {":BLN3     :Snow expected in Tampa RSN", "bulletin to=BLN3 text=Snow expected in Tampa RSN"},
        {":N0QBF-11 :PARM.Battery,Btemp,Air", "telemetry-meta to=N0QBF-11 text=PARM.Battery,Btemp,Air"},
        {":N0QBF-11 :EQNS.0,5.2,0,0,.53,-32", "telemetry-meta to=N0QBF-11 text=EQNS.0,5.2,0,0,.53,-32"},
        {":KH2Z     :?APRSP", "query to=KH2Z text=?APRSP"},
        // Status, weather, telemetry and the rest.
        {">092345zNet Control Center", "status ts092345z 2013-07-09T23:45:00 text=Net Control Center"},
        {">IO91SX/G", "status /G text=IO91SX/G loc=IO91SX"},
        {">IO91/G Home", "status /G text=IO91/G Home loc=IO91"},
        {"_10090556c220s004g005t077r000p000P000h50b09900wRSW", "weather ts10090556 2012-10-09T05:56:00 wx dir220 wind1.79 "
         "gust2.24 temp25.00 r1h0.00 r24h0.00 rmid0.00 hum50 hpa990.00 'wRSW'"},
        {"_07281400c...s...g...t-05h00L456", "weather ts07281400 2013-07-28T14:00:00 wx temp-20.56 hum100 lum456"},
        {"@092345z4903.50N/07201.75W_220/004g005t077r001p...P000h50b09900wRSW", "position uncompressed 49.058333,-72.029167"
         " /_ msg ts092345z 2013-07-09T23:45:00 wx dir220 wind1.79 gust2.24 temp25.00 r1h0.25 rmid0.00 hum50 hpa990.00 "
         "'wRSW'"},
        {"T#005,199,000,255,073,123,01101001", "telemetry tlm #5 199.0 0.0 255.0 73.0 123.0 bits105"},
        {"T#MIC199,000,255,073,123,01101001", "telemetry tlm 199.0 0.0 255.0 73.0 123.0 bits105"},
        {"?APRS?", "query text=APRS"},
        {"<IGATE,MSG_CNT=30,LOC_CNT=0", "capabilities text=IGATE,MSG_CNT=30,LOC_CNT=0"},
        {"{Q1qwerty", "user-defined text=Q1qwerty"},
        {"}KB2ICI>APRS,TCPIP*,WIDE:!4903.50N/07201.75W-Test", "third-party inner KB2ICI>APRS,TCPIP*,WIDE: position "
         "uncompressed 49.058333,-72.029167 /- nomsg 'Test'"},
        {"}W1AW>S32U6T:`(_fn\"Oj/", "third-party inner W1AW>S32U6T: position mic-e 33.427333,-12.129000 /j cse251 "
                                     "spd37.04 [Returning]"},
        {"Hello", "unknown"},
        {"", "unknown error: information field empty"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Fields(Decode(row.info, row.destination)), row.fields) << row.info;
}

// Every malformed packet names its fault and shows no position.
TEST(Aprs, MalformedPacketsGiveAReason)
{
    const Row rows[] = {
        {"!9100.00N/07201.75W-", "invalid latitude"}, {"!4960.00N/07201.75W-", "invalid latitude"},
        {"!49 3.50N/07201.75W-", "invalid latitude"},  // a blank before a digit
        {"!4903.50N/18101.75W-", "invalid longitude"},
        {"!4903.50N/07201.75Q-", "invalid longitude"}, {"!4903.50N/07201.75", "position too short"},
        {"!4903.50N@07201.75W-", "invalid symbol table"}, {"!/5L!!", "compressed position too short"},
        {"!/{{{{<*e7>7P[", "invalid compressed position"},  // 90.02 S
        {"/322345z4903.50N/07201.75W>", "invalid timestamp"},
        {"`(_fn\"O", "Mic-E information field too short", "S32U6T"},
        {"`(_fn\"Oj/", "invalid Mic-E destination", "APRS"}, {"`(_fn\"Oj/", "invalid Mic-E destination", "S32AAA"},
        {"`(\x10" "fn\"Oj/", "invalid longitude", "S32U6T"}, {"`(_fn\"Oj/", "invalid latitude", "Y32U6T"},
        {";LEADER*092345z", "invalid object"}, {")AB!4903.50N/07201.75WA", "invalid item"},
        {":WU2Z:Testing", "invalid message addressee"}, {"T#abc,1", "invalid telemetry"},
        {"T#1,nan,inf", "invalid telemetry"}, {"_1009c220", "invalid weather timestamp"},
        {"}no header here", "invalid third-party header"},
        {"}A>B:}C>D:}E>F:}G>H:}I>J:!", "invalid third-party header"},  // nested too deep
    };
    for (const Row& row : rows) {
        const AprsPacket p = Decode(row.info, row.destination);
        const AprsPacket* innermost = &p;
        while (innermost->inner)
            innermost = innermost->inner.get();
        EXPECT_EQ(innermost->error, row.fields) << Fields(p);
        EXPECT_FALSE(innermost->latitude || innermost->longitude) << row.info;
    }
}

// The console's line: degrees and minutes, the symbol, the extensions and the comment, or the error alone.
TEST(Aprs, SummaryLine)
{
    const struct { const char* info; const char* line; const char* destination = "APRS"; } cases[] = {
        {"`(_fn\"Oj/\"4T}", "APRS position 33\xB0" "25.64'N 012\xB0" "07.74'W  /j  251\xB0 37 km/h  61 m  Returning",
         "S32U6T"},
        {":WU2Z     :Testing{003", "APRS message to WU2Z  \"Testing\"  {003}"},
        {"`(_fn\"O", "APRS error: Mic-E information field too short", "S32U6T"},
        {"}KB2ICI>APRS,TCPIP*:>On\rair", "APRS third-party  KB2ICI>APRS,TCPIP*: status  \"On.air\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AprsSummaryLine(Decode(c.info, c.destination)), c.line) << c.info;
}

}  }  // namespace quillon::test
