// The settings file, the counters, the port lamps and the receive pipeline every caller feeds.
#include "app/cleanup.h"
#include "app/configuration.h"
#include "app/lamps.h"
#include "app/receiver.h"
#include "app/statistics.h"
#include "app/status_file.h"
#include "core_test.h"
#include "decoder/frame_json.h"
#include "text/lines.h"
#include "tnc/time_frame.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quillon::test { namespace {

// The settings that differ from a missing file's, in the fields' order.
std::string Show(const Settings& s)
{
    std::string out;
    const auto add = [&out](const std::string& item) { out += (out.empty() ? "" : " ") + item; };
    for (const auto& [prefix, link] : {std::pair{"", &s.input}, {"mirror.", &s.mirror}}) {
        if (link->port)
            add(prefix + std::string("port=") + std::to_string(*link->port));
        if (const auto& l = link->line)
            add(prefix + std::string("line=") + std::to_string(l->baud) + "NEOMS"[int(l->parity)] +
                std::to_string(l->dataBits) + std::array{"1", "1.5", "2"}[int(l->stopBits)]);
        if (link->rtsCts)
            add(prefix + std::string("rtscts"));
    }
    if (s.kissTcp)
        add("tcp=" + FormatTcpAddress(*s.kissTcp));
    if (!s.kissTcpRefused.empty())
        add("tcp?=" + s.kissTcpRefused);
    if (!s.timeServer.empty())
        add("time=" + s.timeServer);
    for (const auto& [name, on] : {std::pair{"timeframes", s.timeFrames}, {"hexfile", s.hexFile}, {"jsonfile", s.jsonFile},
                                   {"mirror", s.mirroring}, {"daily", s.dailyLogs}, {"aprs", s.aprs}})
        if (on)
            add(name);
    if (!s.myLocation.empty())
        add("location=" + s.myLocation);
    if (s.logKeepDays != 0)
        add("keep=" + std::to_string(s.logKeepDays));
    if (!s.logKeepDaysRefused.empty())
        add("keep?=" + s.logKeepDaysRefused);
    if (!s.statusFile.empty())
        add("status=" + s.statusFile);
    if (s.silenceWarning.count() != 0)
        add("silence=" + std::to_string(s.silenceWarning.count()));
    if (s.mqtt)
        add("mqtt=" + FormatTcpAddress(*s.mqtt));
    if (!s.mqttRefused.empty())
        add("mqtt?=" + s.mqttRefused);
    for (const auto& [name, field] : {std::pair{"topic", &s.mqttTopic}, {"user", &s.mqttUser}, {"password", &s.mqttPassword}})
        if (!field->empty())
            add(name + ("=" + *field));
    return out;
}

TEST(Configuration, ReadsKeysAsTheFileSpellsThem)
{
    const struct { const char* name; std::string text; std::string expected; } cases[] = {
        {"small letters and blanks", "com_port = 3\r\n", "port=3"},
        {"comment in column 1", "#COM_PORT=3\r\n", ""},
        {"blank before # is no comment", " #COM_PORT=3\r\nCOM_PORT=4", "port=4"},
        {"value keeps further =", "TIMESERVER=a=b = c\r\n", "time=A=B = C"},
        {"line without = skipped", "   \r\nMIRROR\r\nMIRROR=yes", "mirror"},
        {"tabs are not blanks", "HEXFILE=\tyes\t\r\n", ""}, {"empty value", "MIRROR=YES\r\nMIRROR=\r\n", ""},
        {"lone CR and lone LF end a line", "COM_PORT=3\rMIRROR=Y\nHEXFILE=yes\n", "port=3 hexfile"},
        {"every switch", "TIMEFRAMES=yes\nHEXFILE=Yes\nJSONFILE=YES\nMIRROR=  yEs \nLOG_ROTATE=daily\nAPRS=yes",
         "timeframes hexfile jsonfile mirror daily aprs"},
        {"a switch is on only at YES", "MIRROR=Y\nHEXFILE=1\nTIMEFRAMES=TRUE\nJSONFILE=YES PLEASE\nLOG_ROTATE=WEEKLY\nAPRS=", ""},
        {"serial links", "COM_SETTINGS=4800,e,7,2\nCOM_HANDSHAKING=yes\nMIRROR_COM_PORT=32767\n"
                         "MIRROR_COM_SETTINGS=9600,N,8,1.5\nMIRROR_COM_HANDSHAKING=no",
         "line=4800E72 rtscts mirror.port=32767 mirror.line=9600N81.5"},
        {"what a port cannot take", "COM_SETTINGS=9600,X,8,1\nCOM_HANDSHAKING=Y\nMIRROR_COM_SETTINGS=9600,N,8", ""},
        {"key with blank inside", "kiss_tcp=[::1]\nCOM PORT=3", "tcp=[::1]:8001"},
        {"KISS_TCP naming no server", "KISS_TCP=localhost:0", "tcp?=LOCALHOST:0"},
        {"MQTT broker, names and secrets in their own case",
         "mqtt=broker.lan\nMqtt_Topic = Shack/Rx 2 \nmqtt_user=Ann\nMQTT_PASSWORD= s3Cr=t \nMQTT_USER=Bob",
         "mqtt=BROKER.LAN:1883 topic=Shack/Rx 2 user=Bob password=s3Cr=t"},
        {"MQTT naming no broker", "MQTT=[::1]:1883x", "mqtt?=[::1]:1883X"},
        {"my location as written", "MY_LOCATION=  4807.38n/01131.00e ", "location=4807.38N/01131.00E"},
        {"days to keep the logs", "LOG_KEEP_DAYS= 30 ", "keep=30"}, {"keep them all", "LOG_KEEP_DAYS=0", ""},
        {"days that are no number", "LOG_KEEP_DAYS=30D\nLOG_KEEP_DAYS=-1", "keep?=-1"},
        {"more than a hundred years", "LOG_KEEP_DAYS=36526", "keep?=36526"},
        {"a status file's path keeps its case", "status_file = /var/lib/Node/quillon.prom \nSTATUS_FILE= run/Q.prom",
         "status=run/Q.prom"},
        {"silence in minutes", "SILENCE_WARNING=30", "silence=30"},
        {"silence not understood is none", "SILENCE_WARNING=30M\nHEXFILE=YES", "hexfile"},
        {"NUL bytes and junk", std::string("\0\xff\xc0=\x01\nTIMESERVER=\0" "7\n", 20), std::string("time=\0" "7", 7)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Show(ParseSettings(c.text)), c.expected) << c.name;
    for (const char* bad : {"0", "-1", "32768", "", "1x", " 1x", "+1", "x"})
        EXPECT_FALSE(ParseSettings(std::string("COM_PORT=") + bad).input.port) << '"' << bad << '"';
}

// The link labels show the fields as written; the mirror's last line what is in effect.
TEST(Configuration, LabelsShowTheLinksAsWritten)
{
    const Settings s = ParseSettings("COM_PORT=3\nCOM_SETTINGS=4800,n,8,1\nCOM_HANDSHAKING=no\nMIRROR_COM_PORT=x\n"
                                     "MIRROR_COM_SETTINGS=fast\nMIRROR_COM_HANDSHAKING=yes");
    EXPECT_EQ(InputLinkLabel(s) + "|" + MirrorLinkLabel(s) + "|" + MirrorInEffectLine(s),
              "IN (COM 3, 4800,N,8,1,NO)|OUT (COM X, FAST,YES)|COM 2, 9600,N,8,1 initialized ");
    EXPECT_EQ(MirrorInEffectLine(ParseSettings("MIRROR_COM_PORT=5\nMIRROR_COM_SETTINGS=1200,e,7,1")),
              "COM 5, 1200,E,7,1 initialized ");
}

TEST(Configuration, KissTcpNamesAHostAndAPort)
{
    const std::pair<std::string_view, TcpAddress> good[] = {
        {"LOCALHOST:8001", {"LOCALHOST", 8001}}, {"127.0.0.1:1", {"127.0.0.1", 1}}, {"LOCALHOST", {"LOCALHOST", 8001}},
        {"[::1]", {"::1", 8001}}, {"[FE80::1]:9000", {"FE80::1", 9000}},
        {"MODEM.EXAMPLE.ORG:65535", {"MODEM.EXAMPLE.ORG", 65535}}};
    for (const auto& [field, address] : good)
        EXPECT_EQ(ParseKissTcp(field), address) << '"' << field << '"';
    for (const char* bad : {"", "LOCALHOST:", "LOCALHOST:0", "LOCALHOST:65536", "LOCALHOST:4294967297", "LOCALHOST:-1",
                            "LOCALHOST:80X", "LOCALHOST:8001:1", "LOCAL HOST:8001", "::1", "[::1", "[]:8001", "[::1]8001"})
        EXPECT_EQ(ParseKissTcp(bad), std::nullopt) << '"' << bad << '"';
}

// --check: one line a known key in the table's order, a warning for what is unknown or means other
// than it seems; the file read as ParseSettings reads it (last occurrence, upper case, comments).
TEST(Configuration, TheCheckSaysWhatEachKeyMeansAndWarnsOfWhatIsWrong)
{
    const struct { const char* name; std::string text; std::vector<std::string> lines, warnings; } cases[] = {
        {"a good file", "# station\nkiss_tcp = localhost\nHEXFILE=yes\nSILENCE_WARNING=30\nMQTT_PASSWORD=secret\nCOM_PORT=3",
         {"COM_PORT=3: COM 3", "KISS_TCP=LOCALHOST: the input is the KISS server LOCALHOST:8001", "HEXFILE=YES: on",
          "LOG_ROTATE (not set): one set of logs a run", "SILENCE_WARNING=30: a warning after 30 min without a frame",
          "MQTT (not set): not set", "MQTT_PASSWORD=(not shown): as written"},
         {}},
        {"mistyped keys and values", "HEXFIEL=YES\nLOG_ROTATE=DAYLY\nMIRROR=Y\nCOM SETTINGS\n\nSILENCE_WARNING=-5\n"
                                     "KISS_TCP=FOO:BAR\nCOM_PORT=0\nCOM_SETTINGS=9600,X,8,1\nMY_LOCATION=HOME",
         {"LOG_ROTATE=DAYLY: one set of logs a run", "KISS_TCP=FOO:BAR: no input"},
         {"line 1: unknown key HEXFIEL", "line 4: no \"=\" in COM SETTINGS",
          "COM_PORT=0: not a port number from 1 to 32767",
          "COM_SETTINGS=9600,X,8,1: not BAUD,PARITY,DATA BITS,STOP BITS such as 9600,N,8,1",
          "MIRROR=Y: neither YES nor NO, so off", "KISS_TCP=FOO:BAR: names no server (HOST or HOST:PORT, port 1 to 65535)",
          "LOG_ROTATE=DAYLY: neither DAILY nor empty",
          "MY_LOCATION=HOME: not a place (latitude and longitude, or a locator)",
          "SILENCE_WARNING=-5: not whole minutes from 0 to 10080"}},
        {"keys read as a whole", "LOG_KEEP_DAYS=30D\nKISS_SERVER=localhost\nMQTT=a b\nLOG_KEEP_DAYS=7", {},
         {"KISS_SERVER=LOCALHOST not understood (PORT or ADDRESS:PORT)", "MQTT=A B: names no broker (HOST or HOST:PORT)"}},
        {"a retention that is no number", "LOG_KEEP_DAYS=30D", {}, {"LOG_KEEP_DAYS=30D: not whole days from 0 to 36525"}},
        {"the last occurrence counts, a comment is none", "#FOO=1\nLOG_ROTATE=WEEKLY\nLOG_ROTATE=daily\n",
         {"LOG_ROTATE=DAILY: a new set of logs at 00:00 UTC"}, {}},
    };
    for (const auto& c : cases) {
        const SettingsCheck check = CheckSettings(c.text);
        for (const std::string& line : c.lines)
            EXPECT_NE(std::find(check.lines.begin(), check.lines.end(), line), check.lines.end()) << c.name << ": " << line;
        EXPECT_EQ(check.warnings, c.warnings) << c.name;
    }
    const SettingsCheck mistyped = CheckSettings(cases[1].text);
    EXPECT_EQ(mistyped.unknownKeys, std::vector<std::string>{"line 1: unknown key HEXFIEL"});
    EXPECT_EQ(mistyped.lines.front(), "COM_PORT=0: the port's own number") << "in the table's order";
}

TEST(Counters, GoRoundPast2To31)
{
    for (auto [counter, n, sum] : {std::tuple<std::int32_t, std::uint32_t, std::int32_t>{INT32_MAX, 1, INT32_MIN}, {-1, 1, 0},
                                   {INT32_MIN, UINT32_MAX, INT32_MAX}, {0, 0x80000000u, INT32_MIN}, {5, 3, 8}})
        EXPECT_EQ((AddWrapping(counter, n), counter), sum) << n;
    Counters counters{.FrameCount = INT32_MAX, .TfescCount = INT32_MAX, .TfendCount = INT32_MAX - 1};
    CountFrame(counters, Received(Bytes("C0 00 DB DC DB DD DB DC C0")));
    EXPECT_EQ(std::tuple(counters.FrameCount, counters.TfescCount, counters.TfendCount),
              std::tuple(INT32_MIN, INT32_MIN, INT32_MIN));
}

// What the line brings that is no frame: noise between frames, frames too long to keep (their rest is no
// noise), and the frames by the port of their command byte, shown in the statistics window.
TEST(Counters, NoiseOversizeFramesAndPorts)
{
    const std::string a = Bytes("C0 00 41 C0"), big = Bytes("C0 00") + std::string(2000, 'A') + Bytes("C0");
    const struct { const char* name; std::string stream; int frames; std::uint64_t noise, oversize; std::string ports; } cases[] = {
        {"noise before, between and after frames", "ab" + a + "xyz" + a + "q", 2, 6, 0, "0:2"},
        {"empty frames are no noise", Bytes("C0 C0 C0") + a, 1, 0, 0, "0:1"},
        {"an oversize frame's rest is no noise, its FEND opens the next", big + Bytes("00 41 C0"), 1, 0, 1, "0:1"},
        {"the 1025th byte its FEND: the next byte is noise", Bytes("C0 00") + std::string(1022, 'A') + Bytes("C0 7A") + a, 1, 1, 1, "0:1"},
        {"ports from the command byte, escaped or not", Bytes("C0 10 41 C0 C0 F0 41 C0 C0 DB DC 41 C0 C0 DB DD C0"), 4, 0, 0,
         "1:1 12:1 13:1 15:1"},
    };
    for (const auto& c : cases) {
        FakeClock clock(At(12h));
        Receiver receiver(clock);
        ReceiveSink sink;
        EXPECT_EQ(receiver.Feed(c.stream, sink), c.frames) << c.name;
        const Counters& n = receiver.Counts();
        std::string ports;
        for (int p = 0; p < kKissPorts; ++p)
            if (n.PortFrames[std::size_t(p)])
                ports += (ports.empty() ? "" : " ") + std::to_string(p) + ":" + std::to_string(n.PortFrames[std::size_t(p)]);
        EXPECT_EQ(std::tuple(n.NoiseBytes, n.OversizeFrames, ports), std::tuple(c.noise, c.oversize, c.ports)) << c.name;
        receiver.ClearCounts();  // the losses stay, the frames by port go with the frames
        std::string shown;
        for (const ConsoleRun& run : StatisticsRuns(receiver.Counts()))
            shown += run.text;
        EXPECT_TRUE(shown.ends_with(" TFEND received\n" + std::to_string(c.oversize) + " Oversize frames dropped\n" +
                                    std::to_string(c.noise) + " Noise bytes dropped\n")) << shown;
        EXPECT_EQ(receiver.Counts().PortFrames, (std::array<std::uint64_t, kKissPorts>{})) << c.name;
    }
}

// The status file, as node_exporter reads it: every metric with its HELP and TYPE, port 0 always and the other
// ports once they have had a frame, counts that went round past 2^31 still positive, times to the millisecond.
TEST(StatusFile, EveryFigureInThePrometheusTextFormat)
{
    StationFigures fresh{.counts = {}, .mirrorBytesDropped = 0, .inputName = "COM 1", .inputUp = false, .mirrorUp = false,
                         .logsFailing = 0, .start = At(12h), .lastFrame = At(12h), .igate = {}, .kissServer = {}, .mqtt = {}};
    StationFigures busy{fresh};
    busy.counts.BytesReceived = 123456789012, busy.counts.FrameCount = INT32_MIN, busy.counts.OversizeFrames = 2;
    busy.counts.NoiseBytes = 17, busy.counts.PortFrames[0] = 5, busy.counts.PortFrames[15] = 1;
    busy.mirrorBytesDropped = 300, busy.inputName = "LOCALHOST:8001", busy.inputUp = busy.mirrorUp = true;
    busy.logsFailing = 2, busy.lastFrame = At(13h + 1s + 7ms);
    // Every metric behind its HELP and TYPE lines, in this order.
    const std::string text = StatusFileText(busy);
    std::string samples;
    std::vector<std::string> metrics;
    std::size_t helped = 0;
    for (const std::string_view line : SplitLines(text)) {
        if (line.starts_with("# TYPE "))
            metrics.push_back(std::string(line.substr(7)));
        else if (!line.starts_with("# HELP "))
            samples += std::string(line) + "\n";
        helped += line.starts_with("# HELP quillon_") && text.find("\n# TYPE " + std::string(line.substr(7, line.find(' ', 7) - 7)) + " ") != text.npos;
    }
    EXPECT_EQ(helped, metrics.size()) << text;
    EXPECT_EQ(metrics, (std::vector<std::string>{"quillon_frames_received_total counter", "quillon_bytes_received_total counter",
        "quillon_frames_total counter", "quillon_oversize_frames_total counter", "quillon_noise_bytes_total counter",
        "quillon_mirror_bytes_dropped_total counter", "quillon_last_frame_timestamp_seconds gauge", "quillon_link_up gauge",
        "quillon_logs_failing gauge", "quillon_start_time_seconds gauge"}));
    EXPECT_EQ(samples, "quillon_frames_received_total 2147483648\nquillon_bytes_received_total 123456789012\n"
                       "quillon_frames_total{port=\"0\"} 5\nquillon_frames_total{port=\"15\"} 1\nquillon_oversize_frames_total 2\n"
                       "quillon_noise_bytes_total 17\nquillon_mirror_bytes_dropped_total 300\n"
                       "quillon_last_frame_timestamp_seconds 1375016401.007\nquillon_link_up{link=\"input\"} 1\n"
                       "quillon_link_up{link=\"mirror\"} 1\nquillon_logs_failing 2\nquillon_start_time_seconds 1375012800.000\n");
    const std::string quiet = StatusFileText(fresh);
    for (const char* line : {"\nquillon_frames_total{port=\"0\"} 0\n# HELP", "\nquillon_link_up{link=\"input\"} 0\n",
                             "\nquillon_link_up{link=\"mirror\"} 0\n", "\nquillon_last_frame_timestamp_seconds 1375012800.000\n"})
        EXPECT_NE(quiet.find(line), std::string::npos) << line << quiet;
    EXPECT_EQ(quiet.find("igate"), std::string::npos) << "no lines of a sharer that is off";
    StationFigures sharing{fresh};
    sharing.igate = {{.gated = 12, .notGated = 3}};
    sharing.kissServer = {{.clients = 2, .framesDropped = 5, .framesFromClients = 1}};
    sharing.mqtt = {{.published = 40, .dropped = 7, .connected = true}};
    const std::string shared = StatusFileText(sharing);
    for (const char* line : {"\nquillon_igate_frames_total{result=\"gated\"} 12\nquillon_igate_frames_total{result=\"not_gated\"} 3\n",
                             "\nquillon_kiss_clients 2\n", "\nquillon_kiss_client_frames_dropped_total 5\n",
                             "\nquillon_kiss_client_frames_received_total 1\n",
                             "\nquillon_mqtt_frames_total{result=\"published\"} 40\nquillon_mqtt_frames_total{result=\"dropped\"} 7\n",
                             "\nquillon_mqtt_connected 1\n"})
        EXPECT_NE(shared.find(line), std::string::npos) << line << shared;
    EXPECT_EQ(ServiceStatusLine(fresh), "0 frames received, COM 1 away");
    EXPECT_EQ(ServiceStatusLine(busy), "2147483648 frames received, LOCALHOST:8001 open");
}

TEST(StatusLamps, OneLampPerPortTheMirrorsOnlyWhileMirroring)
{
    using enum Lamp;
    const struct { bool inputOpen, mirrorOpen, mirroring; PortLamps lamps; } cases[] = {
        {true, true, false, {Green, Off}}, {false, false, false, {Red, Off}}, {true, true, true, {Green, Green}},
        {true, false, true, {Green, Red}}, {false, true, true, {Red, Green}}};
    for (const auto& c : cases)
        EXPECT_EQ(StatusLamps(c.inputOpen, c.mirrorOpen, c.mirroring), c.lamps) << c.inputOpen << c.mirrorOpen << c.mirroring;
}

// A frame with a payload, a short one with both escapes, and a long one.
const std::string kA = Kiss({{"BEACON"}, {"NOCALL", 3}, {}, 0x03, 0xF0, "Hi"}), kB = Bytes("C0 00 DB DC DB DD C0"),
    kLong = Kiss({{"APRS"}, {"N0CALL", 9}, {{"RELAY", 1, true}, {"WIDE2", 2}, {"NODE", 3}}, 0x03, 0xF0, "x"});

// Every call of the sink as one line, in order.
struct RecordingSink : ReceiveSink {
    std::string calls, frame;  // the frame last logged and reported
    std::optional<FrameReport> report;
    void Add(std::string call) { calls += (calls.empty() ? "" : ", ") + call; }
    // "raw [at HH:nn:ss.mmm] A|B|?|time HH:nn:ss.mmm": the frame, behind the time frame in the same piece.
    void RawLog(std::string_view bytes) override
    {
        const auto stamp = [](std::string_view b) { const auto t = ReadTimeFrame(Received(b));
                                                    return t ? FormatTimestamp(*t).substr(11) : std::string(); };
        std::string at;
        if (bytes.size() > std::size_t(kTimeFrameLength) && !stamp(bytes.substr(0, kTimeFrameLength)).empty())
            at = "at " + stamp(bytes.substr(0, kTimeFrameLength)) + " ", bytes.remove_prefix(kTimeFrameLength);
        frame = bytes;
        Add("raw " + at + (!stamp(bytes).empty() ? "time " + stamp(bytes) : bytes == kA ? "A" : bytes == kB ? "B" : "?"));
    }
    void HexLog(std::string_view line) override { Add("hex " + std::string(line.substr(0, line.size() - 2))); }
    void DumpLog(std::string_view line) override { Add("dump " + std::string(line.substr(0, line.size() - 2))); }
    void Report(const FrameReport& r) override  // "report RAW|Payload HH:nn:ss.mmm LENGTH [address line]"
    {
        report = r;
        const std::string& h = r.console[1].text;  // "yyyy-MM-dd HH:nn:ss.mmm UTC: [LENGTH Bytes ..."
        Add("report " + r.frameCaption.substr(0, r.frameCaption.find(' ')) + " " + h.substr(11, 12) + " " +
            h.substr(30, h.find(" Bytes") - 30) + (r.decoded ? " " + r.decoded->AddressText : ""));
    }
    void LogTime(system_clock::time_point t) override { Add("time " + FormatTimestamp(t).substr(11)); }
    void JsonLog(std::string_view line) override  // "json" for the line of the frame last logged and reported
    { Add(report && line == FrameJsonLine(*report, Received(frame).Bytes()) ? "json" : "json ?"); }
};

TEST(Receiver, FramesToTheLogsAndReportsInOrder)
{
    const std::string logTime = EncodeTimeFrame(At(9h + 30min + 1s + 250ms)), now = "12:00:00.000";
    const struct { const char* name; ReceiveOptions options; std::vector<std::string> blocks;
                   std::vector<int> frames; std::string calls; std::int32_t frameCount, escapes; } cases[] = {
        {"decoded, time frames", {.report = {true, false}}, {kA}, {1}, "raw at " + now +
         " A, report Payload " + now + " 21 from NOCALL-3 to BEACON: , dump 2013-07-28 " + now + " UTC: Hi", 1, 0},
        {"no reports", {.report = {true, true}, .buildReports = false}, {kB}, {1}, "raw at " + now + " B", 1, 1},
        {"JSON lines last", {.report = {false, true}, .json = true}, {kA + kB}, {2}, "raw A, report Payload " + now +
         " 21 from NOCALL-3 to BEACON: , hex 48 69, dump Hi, json, raw B, report Payload " + now + " 7 from  to `m`: , dump , json",
         2, 1},
        {"no JSON without reports", {.report = {}, .buildReports = false, .json = true}, {kA}, {1}, "raw A", 1, 0},
        {"noise, empty frames, a frame split", {.report = {}, .decode = false}, {"xy" + Bytes("C0 C0") + kA.substr(0, 5), kA.substr(5) + "z"},
         {0, 1}, "raw A, report RAW " + now + " 21", 1, 0},
        {"a frame shows nothing of the one before", {}, {kLong + Bytes("C0 00 84 8A 82 86 9E 9C 60 C0")}, {2},
         "raw ?, report Payload " + now + " 41 from N0CALL-9 to APRS via RELAY-1*,WIDE2-2,NODE-3: , dump x, raw ?, "
         "report Payload " + now + " 10 from ` to BEACON: , dump ", 2, 0},
        {"a time frame is a frame like any other", {.report = {}, .decode = false}, {logTime}, {1},
         "raw time 09:30:01.250, report RAW " + now + " 30", 1, 0},
        {"a log read back: its time stamps the next frame only",
         {.report = {true, false}, .decode = false, .readLogTimes = true},
         {logTime + kA + kB}, {3}, "time 09:30:01.250, raw at 09:30:01.250 A, report RAW 09:30:01.250 21, "
         "raw at " + now + " B, report RAW " + now + " 7", 2, 1},
        {"a log time holds into the next event", {.report = {}, .decode = false, .readLogTimes = true}, {logTime, kA}, {1, 1},
         "time 09:30:01.250, raw A, report RAW 09:30:01.250 21", 1, 0},
    };
    for (const auto& c : cases) {
        FakeClock clock(At(12h));
        Receiver receiver(clock, c.options);
        RecordingSink sink;
        std::vector<int> frames;
        std::size_t bytes = 0;
        for (const std::string& block : c.blocks)
            frames.push_back(receiver.Feed(block, sink)), bytes += block.size();
        EXPECT_EQ(frames, c.frames) << c.name;
        EXPECT_EQ(sink.calls, c.calls) << c.name;
        const Counters& counters = receiver.Counts();
        EXPECT_EQ(std::tuple(counters.BytesReceived, counters.FrameCount, counters.TfescCount, counters.TfendCount),
                  std::tuple(bytes, c.frameCount, c.escapes, c.escapes)) << c.name;
        // "Clear Counter" keeps the escape counts.
        receiver.ClearCounts();
        EXPECT_EQ(std::tuple(counters.BytesReceived, counters.FrameCount, counters.TfescCount, counters.TfendCount),
                  std::tuple(std::uint64_t(0), 0, c.escapes, c.escapes)) << c.name;
    }
}

TEST(Receiver, LastFrameTimeFromTheStartOfARunAndEachFrameEnd)
{
    FakeClock clock(At(12h));
    Receiver receiver(clock);
    EXPECT_EQ(receiver.LastFrameTime(), DateTime{});
    receiver.Restart();
    EXPECT_EQ(receiver.LastFrameTime(), UtcNow(clock));
    ReceiveSink sink;
    clock.Advance(5s);
    receiver.Feed(kA.substr(0, 5), sink);  // inside a frame: no change
    EXPECT_EQ(receiver.LastFrameTime(), At(12h));
    clock.Advance(5s);
    receiver.Restart();  // the open frame is dropped
    EXPECT_EQ(std::pair(receiver.LastFrameTime(), receiver.State().FrameOpen), std::pair(UtcNow(clock), false));
    clock.Advance(5s);
    EXPECT_EQ(receiver.Feed(kA.substr(5), sink), 0);  // the rest of the frame is noise now
    EXPECT_EQ(receiver.LastFrameTime(), UtcNow(clock));
    clock.Advance(5s);
    receiver.SetDecoding(false);
    EXPECT_EQ(std::pair(receiver.Feed(kB, sink), receiver.Options().decode), std::pair(1, false));
    EXPECT_EQ(std::pair(receiver.LastFrameTime(), Text(receiver.State().Bytes())), std::pair(UtcNow(clock), kB));
}

// Only the run's own logs go, and only when they are empty regular files.
TEST(Cleanup, DeletesOnlyTheGivenEmptyLogs)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quillon-cleanup-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const auto make = [&](const char* name, std::string_view content) {
        std::ofstream(dir / name, std::ios::binary) << content;
        return (dir / name).string();
    };
    const std::string empty = make("a.kss", ""), full = make("a.dump", "x\r\n"), other = make("other", "");
    fs::create_symlink(other, dir / "link.hex");
    DeleteEmptyFiles({empty, full, (dir / "link.hex").string(), (dir / "gone.hex").string(), ""});
    EXPECT_FALSE(fs::exists(empty));
    EXPECT_TRUE(fs::exists(full) && fs::exists(other) && fs::is_symlink(dir / "link.hex"));
    fs::remove_all(dir);
}

// LOG_KEEP_DAYS: whole sets of this program's logs go once their last write is over N days old.
TEST(Retention, ChoosesTheFilesOfOldLogSetsOnly)
{
    using namespace std::chrono;
    const DateTime now = sys_days{2026y / December / 7} + 12h;
    const DateTime longAgo = now - days{40};
    const struct { const char* name; std::vector<FolderEntry> folder; std::vector<std::string> old; } cases[] = {
        {"an old set, rotated forms and all",
         {{"01102026_0930.kss.1", longAgo}, {"01102026_0930.jsonl", longAgo}, {"01102026_0930.dump.90.gz", longAgo},
          {"01102026_0930.hex", longAgo}},
         {"01102026_0930.dump.90.gz", "01102026_0930.hex", "01102026_0930.jsonl", "01102026_0930.kss.1"}},
        {"not a log of this program",
         {{"sample.kss", longAgo}, {"2013.kss", longAgo}, {"01102026_0930.txt", longAgo}, {"01102026_0930.kss.gz", longAgo},
          {"01102026_0930.kss.1.bz2", longAgo}, {"01102026_0930.kss.x", longAgo}, {"01102026_0930.kss.", longAgo},
          {"01102026_0930.KSS", longAgo}, {"01102026-0930.kss", longAgo}, {"011020260930.kss", longAgo},
          {"1102026_0930.kss", longAgo}, {"quillon.ini", longAgo}, {"01102026_0930.1", longAgo}, {"x01102026_0930.kss", longAgo}},
         {}},
        {"no such date or time",
         {{"32102026_0930.kss", longAgo}, {"01132026_0930.kss", longAgo}, {"29022026_0930.kss", longAgo},
          {"01102026_2400.kss", longAgo}, {"01102026_0960.kss", longAgo}},
         {}},
        // A run that began long ago and wrote until yesterday: its frames are a day old.
        {"an old name written lately", {{"01012026_0000.kss", now - days{1}}}, {}},
        // One file of a set written lately keeps the whole set (the hex log has had no decoded frame since).
        {"a set is kept whole", {{"01102026_0930.kss", now - hours{2}}, {"01102026_0930.hex", longAgo}}, {}},
        // A file whose time is older than its name (copied with an old time) counts from its name.
        {"the name when it is later", {{"05122026_0000.kss", longAgo}}, {}},
        {"the running station's set", {{"07112026_1200.kss", longAgo}}, {}},
        {"a clock behind the files", {{"07122027_1200.kss", now + days{365}}}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OldLogSetFiles(c.folder, now, 30, "07112026_1200"), c.old) << c.name;
        EXPECT_EQ(OldLogSetFiles(c.folder, now, 0, "07112026_1200"), std::vector<std::string>{}) << c.name;
    }
}

} }  // namespace quillon::test
