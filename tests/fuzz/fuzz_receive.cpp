// The receive pipeline under arbitrary input, through the Receiver, every result checked as it comes. Input:
// byte 0 holds the switches (bits 3-7) and the number n of split points (bits 0-2), the next n bytes the lengths
// of the first n chunks; the rest is the last chunk. Each chunk is one receive event; between events the switches
// change, as they may while data arrive. Each frame is reported once more, and the JSON line of every report checked.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/receiver.h"
#include "decoder/frame_aprs.h"
#include "decoder/frame_json.h"
#include "tnc/time_frame.h"

namespace {

using namespace quillon;

[[noreturn]] void Fail(int line, const char* what)
{ std::fprintf(stderr, "fuzz_receive.cpp:%d: check failed: %s\n", line, what), std::abort(); }
#define FUZZ_CHECK(condition) ((condition) ? void() : Fail(__LINE__, #condition))

void CheckReport(const FrameReport& report, const ReceiveState& rx, bool decode, const ReportOptions& options)
{
    const auto runs = [&](std::uint32_t colour) {
        return std::size_t(std::ranges::count(report.console, colour, &ConsoleRun::colour)); };
    FUZZ_CHECK(report.console.size() >= 4 && report.console.front() == (ConsoleRun{"\r", colour::Black}));
    for (const ConsoleRun& run : report.console)
        FUZZ_CHECK(!run.text.empty() && run.text.back() == '\r');
    const std::string_view header = report.console[1].text;  // "yyyy-MM-dd HH:nn:ss.mmm UTC: [LENGTH Bytes ..."
    int length = -1;
    std::from_chars(header.data() + 30, header.data() + header.size(), length);
    FUZZ_CHECK(header.substr(23, 7) == " UTC: [" && length == rx.RawFrameLength);
    const std::string_view text = report.console[report.console.size() - 2].text;
    FUZZ_CHECK(std::all_of(text.begin(), text.end() - 1, [](char c) { return std::uint8_t(c) >= 32; }));
    if (!decode) {
        FUZZ_CHECK(report.frameCaption == "RAW KISS Frame" && !report.hexLogLine && !report.dumpLogLine);
        FUZZ_CHECK(runs(colour::Blue) == std::size_t(rx.RawFrameLength + 19) / 20 && !report.decoded);
        return;
    }
    FUZZ_CHECK(report.frameCaption == "Payload KISS Frame" && report.decoded && report.dumpLogLine);
    const DecoderState& dec = *report.decoded;
    FUZZ_CHECK(dec.DecodedFrameLength >= 1 && dec.DecodedFrameLength <= rx.RawFrameLength &&
               dec.PayloadStart >= 18 && dec.PayloadStart <= 82);
    const std::size_t payload = std::size_t(std::max(0, dec.DecodedFrameLength - dec.PayloadStart));
    FUZZ_CHECK(runs(colour::Red) == (payload + 19) / 20);
    FUZZ_CHECK(report.hexLogLine ? options.hexFile && report.hexLogLine->size() == 3 * payload + 1
                                 : !options.hexFile || payload == 0);
    const std::string_view dump = *report.dumpLogLine;
    FUZZ_CHECK(dump.size() == payload + (options.timeFrames ? 29 : 0) + 2 && dump.find_first_of("\r\n") == dump.size() - 2);
    // The APRS line: one, after the address line, for an APRS frame with the switch on; none otherwise.
    const bool aprs = DecodeAprsFrame(dec, report.time).has_value();
    FUZZ_CHECK(runs(colour::Purple) == (options.aprs && aprs ? 1u : 0u));
    FUZZ_CHECK(runs(colour::Purple) == 0 || report.console[4].text.starts_with("APRS "));
    if (HeaderIsWhole(dec)) {
        const std::string tnc2 = Tnc2Line(dec);
        FUZZ_CHECK(tnc2.find_first_of("\r\n") == std::string::npos && tnc2.size() >= payload + 2);
    }
}

// One line of JSON as far as its bytes tell (quillon_dump_json_sample parses random frames' lines with a real JSON
// reader): no raw control byte, UTF-8, known escapes, `,"source":` (a name: quotes in strings are escaped) if decoded.
void CheckJson(const FrameReport& report, const ReceiveState& rx)
{
    const std::string line = FrameJsonLine(report, rx.Bytes());
    const bool whole = report.decoded && HeaderIsWhole(*report.decoded);
    FUZZ_CHECK(line.starts_with("{\"time\":\"") && line.ends_with("}\n") &&
               (line.find(",\"source\":") != std::string::npos) == whole &&
               line.ends_with(",\"damaged\":true}\n") == (report.decoded && !whole));
    // An APRS frame's object, with a type from the list, and a position only within the earth.
    const bool aprs = whole && DecodeAprsFrame(*report.decoded, report.time).has_value();
    const std::size_t object = line.find(",\"aprs\":{\"type\":\"");
    FUZZ_CHECK((object != std::string::npos) == aprs);
    if (const std::size_t at = line.find("\"latitude\":", object == std::string::npos ? line.size() : object);
        at != std::string::npos) {
        double latitude = 0, longitude = 0;
        std::from_chars(line.data() + at + 11, line.data() + line.size(), latitude);
        const std::size_t lon = line.find("\"longitude\":", at);
        FUZZ_CHECK(lon != std::string::npos);
        std::from_chars(line.data() + lon + 12, line.data() + line.size(), longitude);
        FUZZ_CHECK(std::abs(latitude) <= 90 && std::abs(longitude) <= 180);
    }
    int more = 0;  // continuation bytes to come
    for (std::size_t at = 0; at + 1 < line.size(); ++at) {
        const std::uint8_t b = std::uint8_t(line[at]);
        FUZZ_CHECK(b >= 0x20 && b < 0xF0 && (more > 0) == (b >= 0x80 && b < 0xC0));
        more = more > 0 ? more - 1 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        if (b == '\\') {
            FUZZ_CHECK(line[at + 1] == '"' || line[at + 1] == '\\' || line.compare(at + 1, 3, "u00") == 0);
            ++at;
        }
    }
    FUZZ_CHECK(more == 0);
}

// Checks each result against the frame the receive state holds as it comes.
struct CheckingSink final : ReceiveSink {
    const ReceiveState& rx;
    const Clock& clock;
    ReceiveOptions options;
    int frames = 0, times = 0, rawLogs = 0, jsonLogs = 0;
    std::optional<FrameReport> last;

    CheckingSink(const ReceiveState& r, const Clock& c) : rx(r), clock(c) {}
    // One piece per frame: its time frame (with time frames on), then the frame.
    void RawLog(std::string_view bytes) override
    {
        const std::span<const std::uint8_t> frame = rx.Bytes(), logged(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        FUZZ_CHECK(frame.size() >= 3 && frame.size() <= kRawFrameSize && frame.front() == FEND && frame.back() == FEND);
        const std::size_t timeFrame = options.report.timeFrames ? std::size_t(kTimeFrameLength) : 0;
        FUZZ_CHECK(logged.size() == timeFrame + frame.size() && std::ranges::equal(logged.subspan(timeFrame), frame));
        FUZZ_CHECK(timeFrame == 0 || DecodeTimeFrame(logged.first(timeFrame)).has_value());
        ++rawLogs;
    }
    void Report(const FrameReport& report) override
    {
        FUZZ_CHECK(rawLogs == ++frames);
        CheckReport(report, rx, options.decode, options.report);
        CheckJson(report, rx);
        // The same frame reported again gives the same runs, the time aside.
        const FrameReport again = ReportFrame(rx, options.decode, options.report, clock);
        FUZZ_CHECK(again.console.size() == report.console.size() && again.dumpLogLine.has_value() == report.dumpLogLine.has_value());
        FUZZ_CHECK(std::equal(again.console.begin() + 2, again.console.end(), report.console.begin() + 2) &&
                   again.console[1].text.substr(23) == report.console[1].text.substr(23));
        last = report;
    }
    void HexLog(std::string_view line) override { FUZZ_CHECK(last && last->hexLogLine == line); }
    void DumpLog(std::string_view line) override { FUZZ_CHECK(last && last->dumpLogLine == line); }
    void JsonLog(std::string_view line) override
    { FUZZ_CHECK(options.json && last && ++jsonLogs == frames && line == FrameJsonLine(*last, rx.Bytes())); }
    void LogTime(std::chrono::system_clock::time_point t) override
    { FUZZ_CHECK(options.readLogTimes && ReadTimeFrame(rx) == t && ++times); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FixedClock clock(std::chrono::sys_days{std::chrono::year{2013} / 7 / 28});
    const unsigned splits = size ? data[0] & 0x07u : 0;
    if (size < 1 + splits)
        return 0;
    Receiver receiver(clock);
    CheckingSink sink(receiver.State(), clock);
    for (std::size_t chunk = 0, at = 1 + splits, end = 0; chunk <= splits; ++chunk, at = end) {
        const unsigned bits = (data[0] >> 3) + unsigned(chunk);
        receiver.SetOptions(sink.options = {.report = {(bits & 2) != 0, (bits & 4) != 0, (bits & 2) != 0},
                                            .decode = (bits & 1) != 0,
                                            .buildReports = true, .readLogTimes = (bits & 8) != 0, .json = (bits & 16) != 0});
        end = std::min(at + (chunk < splits ? data[1 + chunk] : size - at), size);
        const std::int32_t before = receiver.Counts().FrameCount;
        sink.frames = sink.times = sink.rawLogs = sink.jsonLogs = 0;
        const int ended = receiver.Feed({reinterpret_cast<const char*>(data + at), end - at}, sink);
        FUZZ_CHECK(ended == sink.frames + sink.times && receiver.Counts().FrameCount - before == sink.frames);
        FUZZ_CHECK(sink.jsonLogs == (sink.options.json ? sink.frames : 0));
    }
    FUZZ_CHECK(receiver.Counts().BytesReceived == size - 1 - splits);
    return 0;
}
