// The AX.25 header read, and what the console, the dump, hex and JSON logs get of each frame.
#include "core_test.h"
#include "decoder/decode.h"
#include "decoder/frame_json.h"

namespace quillon::test { namespace {

Ax25Address A(const char* call, int ssid = 0, bool bit7 = false) { return {call, ssid, bit7}; }
Ax25Frame Ui(std::vector<Ax25Address> digis, std::string info = "x", Ax25Address to = A("BEACON"),
             Ax25Address from = A("NOCALL", 3), std::uint8_t control = 0x03, std::optional<std::uint8_t> pid = 0xF0)
{ return {std::move(to), std::move(from), std::move(digis), control, pid, std::move(info)}; }

TEST(AddressField, BuildsTheAddressLineOfAtMostNineDigipeaters)
{
    const struct { const char* situation; Ax25Frame frame; const char* addressText; } cases[] = {
        {"no digipeaters", Ui({}), "from NOCALL-3 to BEACON: "},
        {"two digipeaters, the first repeated", Ui({A("RELAY", 1, true), A("NODE", 2)}),
         "from NOCALL-3 to BEACON via RELAY-1*,NODE-2: "},
        {"blank later digipeater is left out", Ui({A("RELAY", 1, true), A(""), A("NODE")}),
         "from NOCALL-3 to BEACON via RELAY-1*,NODE: "},
        {"blanks inside callsigns are removed", Ui({}, "x", A("AB CD"), A(" N0 C ")), "from N0C to ABCD: "},
        {"command/response bits change nothing", Ui({}, "x", A("BEACON", 0, true), A("NOCALL", 3, true)),
         "from NOCALL-3 to BEACON: "},
    };
    for (const auto& c : cases) {  // UI with one payload byte: PayloadStart shows where the field ended
        const DecoderState dec = DecodeAx25Frame(Received(Kiss(c.frame)));
        EXPECT_EQ(dec.AddressText, c.addressText) << c.situation;
        EXPECT_EQ(dec.ControlText, "UI") << c.situation;
        EXPECT_EQ(dec.PayloadStart, 19 + 7 * int(c.frame.digipeaters.size())) << c.situation;
    }
    Ax25Frame frame = Ui({}, "");
    for (int i = 1; i <= 10; ++i)
        frame.digipeaters.push_back(A("DIGI", i));
    DecoderState dec = DecodeAx25Frame(Received(Kiss(frame)));  // control byte: the tenth address's first
    EXPECT_EQ(std::pair(dec.AddressText, dec.ControlByte), std::pair("from NOCALL-3 to BEACON via DIGI-1,DIGI-2,DIGI-3,"
              "DIGI-4,DIGI-5,DIGI-6,DIGI-7,DIGI-8,DIGI-9: "s, std::uint8_t('D' << 1)));
    frame.digipeaters.pop_back();          // nine, the last without its extension bit
    ByteString ax25 = EncodeAx25(frame);
    ax25[7 * 11 - 1] &= 0xFE;
    dec = DecodeAx25Frame(Received(Text(EncodeKissFrame(0x00, ax25))));
    EXPECT_EQ(std::tuple(dec.DigipeaterCalls[9], dec.ControlByte, dec.PayloadStart), std::tuple("DIGI-9", 3, 82));
}

TEST(ControlField, NamesTheFrameAndFindsThePayload)
{
    const struct { std::uint8_t control; const char* mnemonic; bool pid; } cases[] = {
        {0x00, "I00^", true}, {0xB6, "I53+", true}, {0xE1, "RR7v", false}, {0x11, "RR0-", false},
        {0x05, "RNR0v", false}, {0x09, "REJ0v", false}, {0x3D, "SREJ1-", false}, {0x7F, "SABME+", false},
        {0x2F, "SABM^", false}, {0x53, "DISC+", false}, {0x0F, "DMv", false}, {0x73, "UA-", false}, {0x87, "FRMRv", false},
        {0x03, "UI", true}, {0x13, "UI!", true}, {0xAF, "XID", false}, {0xF3, "TEST!", false}, {0x0B, "UNKNOWN U", false},
    };
    for (const auto& c : cases) {  // behind the control byte 5A A5: PID 5A and one payload byte, or two
        const DecoderState dec = DecodeAx25Frame(Received(Kiss(Ui({}, "\x5A\xA5", A("BEACON"), A("NOCALL"), c.control, {}))));
        EXPECT_EQ(std::tuple(dec.ControlByte, dec.ControlText, dec.PidByte, dec.PayloadStart),
                  std::tuple(c.control, c.mnemonic, c.pid ? std::optional<std::uint8_t>(0x5A) : std::nullopt, c.pid ? 19 : 18));
    }
}

std::string Header(std::string_view rest) { return "2013-07-28 14:05:09.437 UTC: " + std::string(rest); }
std::vector<std::string> DumpLines(const FrameReport& report)  // the red or blue ones
{
    std::vector<std::string> lines;
    for (const Line& line : Lines(report.console))
        line.colour == colour::Red || line.colour == colour::Blue ? lines.push_back(line.text) : void();
    return lines;
}

TEST(FrameReport, WorkedExampleDecodedAndRaw)
{
    // NOCALL-3 to BEACON through RELAY-1, which has repeated it; UI, PID F0, "Hello" and a CR.
    const std::string frame = Bytes("C0 00 84 8A 82 86 9E 9C E0 9C 9E 86 82 98 98 66 A4 8A 98 82 B2 40 E3 03 F0 "
                                    "48 65 6C 6C 6F 0D C0");
    const Line header{Header("[32 Bytes KISS Frame (without CRC)]"), colour::Grey}, blank{"", colour::Black},
        separator[] = {{"", colour::DisabledText}, {std::string(66, '_'), colour::DisabledText}};
    const FrameReport decoded = Report(frame, true, {true, true});
    EXPECT_EQ(Lines(decoded.console), (std::vector<Line>{blank, header,
        {"ctrl: 3   PID: F0 {UI}   6 Payload Bytes", colour::Grey},
        {"from NOCALL-3 to BEACON via RELAY-1*: ", colour::Black}, {"   1 > 48 65 6C 6C 6F 0D ", colour::Red},
        {"Hello.", colour::Green}, separator[0], separator[1]}));
    EXPECT_EQ(std::tuple(decoded.frameCaption, decoded.dumpLogLine, decoded.hexLogLine),
              std::tuple("Payload KISS Frame", Header("Hello.\r\n"), "48 65 6C 6C 6F 0D\r\n"));

    const FrameReport raw = Report(frame, false, {true, true});
    std::string text = frame;  // the FENDs show as the character 192
    std::replace_if(text.begin(), text.end(), [](char c) { return std::uint8_t(c) < 32; }, '.');
    EXPECT_EQ(Lines(raw.console)[1], header);
    EXPECT_EQ(Lines(raw.console).end()[-3], (Line{text, colour::Green}));
    EXPECT_TRUE(raw.frameCaption == "RAW KISS Frame" && !raw.dumpLogLine && !raw.hexLogLine && !raw.decoded);
}

// The APRS line follows the address line of a UI/F0 frame (poll bit or not) only, when switched on.
TEST(FrameReport, AprsLineOnlyWhenSwitchedOn)
{
    const std::string aprs = Kiss(Ui({}, "!6028.51N/02505.68E#PHG7220RELAY,WIDE, OH2AP", A("APRS"), A("NOCALL", 3), 0x13)),
                      iFrame = Kiss(Ui({}, "!6028.51N/02505.68E#", A("APRS"), A("NOCALL", 3), 0x10, 0xF0));
    const ReportOptions on{.timeFrames = false, .hexFile = false, .aprs = true};
    const std::vector<Line> lines = Lines(Report(aprs, true, on).console);
    EXPECT_EQ(std::vector<Line>(lines.begin() + 3, lines.begin() + 5), (std::vector<Line>{
        {"from NOCALL-3 to APRS: ", colour::Black},
        {"APRS position 60\xB0" "28.51'N 025\xB0" "05.68'E  /#  PHG 7220  \"RELAY,WIDE, OH2AP\"", colour::Purple}}));
    EXPECT_EQ(Report(iFrame).console, Report(iFrame, true, on).console);
}

// Twenty bytes a line; decoded the payload's bytes, raw the frame's with their escapes.
TEST(FrameReport, HexDumpOfTwentyBytesPerLine)
{
    const struct { std::size_t payload; std::vector<std::string> labels; } cases[] = {
        {0, {}}, {20, {"   1 > "}}, {21, {"   1 > ", "  21 > "}}};
    for (const auto& c : cases) {
        const std::vector<std::string> lines = DumpLines(Report(Kiss(Ui({}, std::string(c.payload, 'A')))));
        ASSERT_EQ(lines.size(), c.labels.size()) << c.payload;
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], c.labels[i] + Repeat("41 ", std::min<std::size_t>(20, c.payload - 20 * i)));
    }
    const std::string frame = Kiss(Ui({}, "\xC0\xDB"));
    EXPECT_EQ(DumpLines(Report(frame)), std::vector<std::string>{"   1 > C0 DB "});
    EXPECT_EQ(DumpLines(Report(frame, false)).back(), "  21 > DB DD C0 ");
}

TEST(FrameReport, HeaderAndControlLines)
{
    const auto ui = [](std::uint8_t control, std::uint8_t pid, std::string info, std::uint8_t command = 0) {
        return Kiss(Ui({}, std::move(info), A("BEACON"), A("NOCALL", 3), control, pid), command);
    };
    const std::string plain = "from NOCALL-3 to BEACON: ", beacon = "C0 00 84 8A 82 86 9E 9C 60 ";  // header "": KISS
    const struct { const char* situation; std::string frame; std::string header, controlLine, addressLine; } cases[] = {
        {"UI with P/F set, PID 16", ui(0x13, 0x10, ""), "", "19   PID: 10 {UI!}   0", plain},
        {"no PID", Kiss(Ui({}, "", A("BEACON"), A("NOCALL", 3), 0x21, {})), "", "33   PID: -- {RR1v}   0", plain},
        {"port 1 is unknown, decoded all the same", ui(3, 0xF0, "x", 0x10), "[20 Bytes unknown Protocol]",
         "3   PID: F0 {UI}   1", plain},
        {"SMACK keeps its CRC in the payload", Text(EncodeSmackFrame(EncodeAx25(Ui({}, "abc")))),
         "[24 Bytes SMACK Frame (with CRC)]", "3   PID: F0 {UI}   5", plain},
        {"command 9 is a time frame", ui(3, 0xF0, "", 0x09), "[19 Bytes TIME Frame]", "3   PID: F0 {UI}   0", plain},
        {"the header counts escapes, the payload not", ui(3, 0xF0, "\xC0\xDB"), "", "3   PID: F0 {UI}   2", plain},
        // Cut headers: blank callsign characters, an SSID byte that ends the field, 0 for control and PID.
        {"nothing behind the command byte", Bytes("C0 00 C0"), "", "0   PID: 0 {I00^}   -16", "from  to `: "},
        {"no control byte", Bytes(beacon + "9C 9E 86 82 98 98 67 C0"), "", "192   PID: 0 {I60^}   -2", plain},
        {"digipeater cut short", Bytes(beacon + "9C 9E 86 82 98 98 66 A4 8A 98 C0"), "", "0   PID: 0 {I00^}   -6",
         "from NOCALL-3 to BEACON via REL`: "},
        {"UI without PID byte", Bytes(beacon + "9C 9E 86 82 98 98 67 03 C0"), "", "3   PID: C0 {UI}   -1", plain},
    };
    for (const auto& c : cases) {
        const std::vector<Line> lines = Lines(Report(c.frame).console);
        ASSERT_GE(lines.size(), 4u) << c.situation;
        const std::string header =
            c.header.empty() ? "[" + std::to_string(c.frame.size()) + " Bytes KISS Frame (without CRC)]" : c.header;
        EXPECT_EQ(std::tuple(lines[1].text, lines[2].text, lines[3].text),
                  std::tuple(Header(header), "ctrl: " + c.controlLine + " Payload Bytes", c.addressLine)) << c.situation;
    }
}

// KISS_PORTS: data frames of ports 1-15 named for their port, header and JSON; all else as without it.
TEST(FrameReport, OtherKissPortsNamedOnlyWithTheKey)
{
    const struct { std::uint8_t command; const char* on; } cases[] = {
        {0x10, "KISS Frame port 1 (without CRC)"}, {0xF0, "KISS Frame port 15 (without CRC)"},
        {0x00, "KISS Frame (without CRC)"}, {0x80, "SMACK Frame (with CRC)"}, {0x09, "TIME Frame"},
        {0x19, "unknown Protocol"}, {0x11, "unknown Protocol"}};
    for (const auto& c : cases) {
        const std::string frame = Kiss(Ui({}, "Hello"), c.command);
        const FrameReport off = Report(frame), on = Report(frame, true, {.kissPorts = true});
        const std::string_view was = FrameTypeText(c.command);
        std::vector<ConsoleRun> expected = off.console;
        expected[1].text = Header("[" + std::to_string(frame.size()) + " Bytes " + c.on + "]\r");
        EXPECT_EQ(on.console, expected) << c.on;
        EXPECT_EQ(std::tie(on.dumpLogLine, on.hexLogLine), std::tie(off.dumpLogLine, off.hexLogLine)) << c.on;
        EXPECT_NE(FrameJsonLine(on, Received(frame).Bytes(), true).find("\"type\":\""s + c.on + '"'), std::string::npos);
        EXPECT_NE(FrameJsonLine(off, Received(frame).Bytes()).find("\"type\":\""s + std::string(was) + '"'), std::string::npos);
    }
}

TEST(FrameJson, OneLineOfJsonPerFrame)
{
    const std::string ui = Kiss(Ui({A("RELAY", 0, true), A("WIDE2", 1)}, "Hi\r", A("APRS"), A("N0CALL", 9)));
    const std::string kiss = R"J("port":0,"command":0,"type":"KISS Frame (without CRC)","length":)J";
    ByteString noEnd = EncodeAx25(Ui({A("D1"), A("D2"), A("D3"), A("D4"), A("D5"), A("D6"), A("D7"), A("D8"), A("D9")}));
    noEnd[7 * 11 - 1] &= 0xFE;  // the ninth digipeater's extension bit
    const std::string ten = Text(EncodeKissFrame(0x00, noEnd));
    const struct { const char* situation; std::string frame; bool decode; std::string fields; } cases[] = {
        {"UI through two digipeaters, one repeated", ui, true, kiss + R"J(36,"source":"N0CALL-9","destination":"APRS",)J"
         R"J("digipeaters":[{"call":"RELAY","repeated":true},{"call":"WIDE2-1","repeated":false}],"control":"UI",)J"
         R"J("control_byte":3,"pid":240,"payload_hex":"48 69 0D","payload_text":"Hi\u000D","aprs":{"type":"unknown"}})J"},
        {"raw: no decoded fields", ui, false, kiss + "36}"},
        {"I frame", Kiss(Ui({}, "x", A("DEST"), A("SRC"), 0x54, 0xCF)), true, kiss + R"J(20,"source":"SRC",)J"
         R"J("destination":"DEST","digipeaters":[],"control":"I22+","control_byte":84,"pid":207,"payload_hex":"78",)J"
         R"J("payload_text":"x"})J"},
        {"RR: no PID, no payload", Kiss(Ui({}, "", A("N0CALL"), A("DL1ABC", 1), 0x21, {})), true, kiss + R"J(18,)J"
         R"J("source":"DL1ABC-1","destination":"N0CALL","digipeaters":[],"control":"RR1v","control_byte":33,)J"
         R"J("pid":null,"payload_hex":"","payload_text":""})J"},
        {"calls from the air: quote, backslash, control byte, a star that is no H bit, a blank digipeater",
         Kiss(Ui({A("X*"), A("Y*", 0, true), A("")}, "", A("Q\"\\\x01"), A("AB"))), true, kiss + R"J(40,"source":"AB",)J"
         R"J("destination":"Q\"\\\u0001","digipeaters":[{"call":"X*","repeated":false},{"call":"Y*","repeated":true},)J"
         R"J({"call":"","repeated":false}],"control":"UI","control_byte":3,"pid":240,"payload_hex":"","payload_text":"",)J"
         R"J("aprs":{"type":"unknown","error":"information field empty"}})J"},
        {"one byte: no callsigns made up", Bytes("C0 00 41 C0"), true, kiss + R"J(4,"damaged":true})J"},
        {"the frame ends with the source address", Kiss(Ui({}, "", A("APRS"), A("N0CALL"))).substr(0, 16) + "\xC0", true,
         kiss + R"J(17,"damaged":true})J"},
        {"no address ends the field", ten, true, kiss + R"J(83,"damaged":true})J"},
        {"SMACK", Bytes("C0 80 41 C0"), false, R"J("port":8,"command":0,"type":"SMACK Frame (with CRC)","length":4})J"},
        {"unknown command, escaped", Bytes("C0 36 41 DB DC C0"), false, R"J("port":3,"command":6,"type":"unknown Protocol","length":6})J"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameJsonLine(Report(c.frame, c.decode), Received(c.frame).Bytes()),
                  R"J({"time":"2013-07-28T14:05:09.437Z",)J" + c.fields + "\n") << c.situation;
}

// Every payload byte: controls as dots in the text, escaped in JSON, the rest Windows-1252 as UTF-8.
TEST(FrameReport, EveryPayloadByteAsTextAndAsJson)
{
    std::string info, json;
    for (int b = 0; b <= 255; ++b)
        info.push_back(char(b));
    const std::string frame = Kiss(Ui({}, info)), text = std::string(32, '.') + info.substr(32);
    const FrameReport report = Report(frame);
    EXPECT_EQ(Lines(report.console).end()[-3], (Line{text, colour::Green}));
    EXPECT_EQ(report.dumpLogLine, text + "\r\n");
    for (int b = 0; b < 32; ++b)
        json += "\\u00"s + "0123456789ABCDEF"[b / 16] + "0123456789ABCDEF"[b % 16];
    json += R"J( !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~)J"
            "\\u007F\u20AC\\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\\u008D\u017D\\u008F"
            "\\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\\u009D\u017E\u0178";
    for (int b = 0xA0; b <= 0xFF; ++b)
        json += {char(0xC0 | b >> 6), char(0x80 | (b & 0x3F))};
    EXPECT_TRUE(FrameJsonLine(report, Received(frame).Bytes())
                    .ends_with(",\"payload_text\":\"" + json + "\",\"aprs\":{\"type\":\"unknown\"}}\n"));
}

// The aprs object: its names, units and number formats, one frame of each kind of field.
TEST(FrameJson, AprsObject)
{
    const struct { const char* info; const char* aprs; const char* to = "APRS"; } cases[] = {
        {"@280910z4903.50N/07201.75W>088/036Go /A=001234", R"J({"type":"position","format":"uncompressed",)J"
         R"J("latitude":49.058333,"longitude":-72.029167,"symbol_table":"/","symbol_code":">","course":88,"speed":66.7,)J"
         R"J("altitude":376.1,"comment":"Go ","messaging":true,"timestamp":"280910z",)J"
         R"J("time":"2013-07-28T09:10:00Z"})J"},
        {"!49  .  S\\07201.75E\\PHG5132", R"J({"type":"position","format":"uncompressed","latitude":-49.500000,)J"
         R"J("longitude":72.500000,"ambiguity":4,"symbol_table":"\\","symbol_code":"\\",)J"
         R"J("phg":"5132","messaging":false})J"},
        {";LEADER   _092345z/5L!!<*e7>7P[", R"J({"type":"object","format":"compressed","latitude":49.500000,)J"
         R"J("longitude":-72.750004,"symbol_table":"/","symbol_code":">","course":88,"speed":67.1,"timestamp":"092345z",)J"
         R"J("time":"2013-07-09T23:45:00Z","name":"LEADER","alive":false})J"},
        {":WU2Z     :Hi{7", R"J({"type":"message","addressee":"WU2Z","text":"Hi","message_id":"7"})J"},
        {"_07281400c220s004g005t077r001p002P003h50b09900L123", R"J({"type":"weather","timestamp":"07281400",)J"
         R"J("time":"2013-07-28T14:00:00Z","weather":{"wind_direction":220,"wind_speed":1.79,"wind_gust":2.24,)J"
         R"J("temperature":25,"rain_1h":0.25,"rain_24h":0.51,"rain_midnight":0.76,"humidity":50,"pressure":990,)J"
         R"J("luminosity":123}})J"},
        {"T#005,199,0.5,255,073,123,01101001", R"J({"type":"telemetry","telemetry":{"sequence":5,)J"
         R"J("values":[199,0.5,255,73,123],"bits":"01101001"}})J"},
        {"}W1AW>APRS,TCPIP*:>On air", R"J({"type":"third-party","inner":{"source":"W1AW","destination":"APRS",)J"
         R"J("path":["TCPIP*"],"aprs":{"type":"status","text":"On air"}}})J"},
    };
    for (const auto& c : cases) {
        const std::string frame = Kiss(Ui({}, c.info, A(c.to)));
        const std::string line = FrameJsonLine(Report(frame), Received(frame).Bytes());
        EXPECT_TRUE(line.ends_with(",\"aprs\":"s + c.aprs + "}\n")) << line;
    }
}

} }  // namespace quillon::test
