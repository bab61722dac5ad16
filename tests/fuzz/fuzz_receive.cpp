// The receive path under arbitrary input: bytes through the frame assembler,
// every frame through the decoder and through both kinds of report, checking
// on the way what must hold for any input whatever.
//
// Input layout: byte 0 chooses the settings (bits 3 to 7) and the number n of
// split points (bits 0 to 2); the next n bytes are the lengths of the first
// n chunks, the rest of the input the last chunk. Each chunk stands for one
// receive event; between events the decoding mode and the TIMEFRAMES and
// HEXFILE switches change, as the user may change them while data arrive.
// Every frame is reported in the current mode and once more in the other.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "decoder/decode.h"
#include "decoder/frame_report.h"
#include "tnc/frame_assembler.h"

namespace {

using namespace quillon;

#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "fuzz_receive.cpp:%d: check failed: %s\n", __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

struct Settings {
    bool decode;
    ConfigurationRecord config;
};

Settings SettingsFor(unsigned bits)
{
    Settings s{(bits & 1) != 0, {}};
    s.config.TIMEFRAMES = (bits & 2) ? "YES" : "NO";
    s.config.HEXFILE = (bits & 4) ? "YES" : "";
    return s;
}

bool EndsInCr(const ConsoleRun& run) { return !run.text.empty() && run.text.back() == '\r'; }

std::size_t DumpLines(const FrameReport& report, std::uint32_t colour)
{
    std::size_t lines = 0;
    for (const ConsoleRun& run : report.console)
        lines += run.colour == colour ? 1 : 0;
    return lines;
}

void CheckCommonShape(const FrameReport& report, const ReceiveState& rx)
{
    static const std::string separator = "\r" + std::string(66, '_') + "\r";
    FUZZ_CHECK(report.console.size() >= 4);
    FUZZ_CHECK(report.console.front() == (ConsoleRun{"\r", colour::Black}));
    FUZZ_CHECK(report.console.back().colour == colour::DisabledText);
    FUZZ_CHECK(report.console.back().text == separator);
    for (const ConsoleRun& run : report.console)
        FUZZ_CHECK(EndsInCr(run));

    // "yyyy-MM-dd HH:nn:ss.mmm UTC: [LENGTH Bytes ..."
    const std::string_view header = report.console[1].text;
    FUZZ_CHECK(header.substr(23, 7) == " UTC: [");
    int length = -1;
    std::from_chars(header.data() + 30, header.data() + header.size(), length);
    FUZZ_CHECK(length == rx.RawFrameLength);

    const std::string_view payload = report.console[report.console.size() - 2].text;
    FUZZ_CHECK(std::all_of(payload.begin(), payload.end() - 1,
                           [](char c) { return static_cast<std::uint8_t>(c) >= 32; }));
}

// Decoding the frame again into a buffer full of other bytes must give the
// same result: nothing of an earlier frame shows through.
void CheckNoCarryOver(const ReceiveState& rx, const DecoderState& dec)
{
    static DecoderState poisoned;
    // Reads past the end of a frame reach at most position 81.
    std::fill_n(poisoned.DecodedFrame.begin(), 83, std::uint8_t{0xA5});
    poisoned.PidByte = 0x5A;
    DecodeAx25Frame(rx, poisoned);
    FUZZ_CHECK(poisoned.AddressText == dec.AddressText);
    FUZZ_CHECK(poisoned.ControlText == dec.ControlText);
    FUZZ_CHECK(poisoned.ControlByte == dec.ControlByte);
    FUZZ_CHECK(poisoned.PidByte == dec.PidByte);
    FUZZ_CHECK(poisoned.PayloadStart == dec.PayloadStart);
}

void CheckDecoded(const FrameReport& report, const ReceiveState& rx, const DecoderState& dec,
                  const ConfigurationRecord& config)
{
    FUZZ_CHECK(report.frameCaption == "Payload KISS Frame");
    FUZZ_CHECK(dec.DecodedFrameLength >= 1 && dec.DecodedFrameLength <= rx.RawFrameLength);
    FUZZ_CHECK(dec.PayloadStart >= 18 && dec.PayloadStart <= 82);
    const int count = dec.DecodedFrameLength - dec.PayloadStart;
    const std::size_t payloadBytes = count > 0 ? static_cast<std::size_t>(count) : 0;
    FUZZ_CHECK(DumpLines(report, colour::Red) == (payloadBytes + 19) / 20);
    FUZZ_CHECK(report.hexLogLine.has_value() == (IsOn(config.HEXFILE) && payloadBytes > 0));
    if (report.hexLogLine)
        FUZZ_CHECK(report.hexLogLine->size() == 3 * payloadBytes + 1);
    FUZZ_CHECK(report.dumpLogLine.has_value());
    const std::string_view dump = *report.dumpLogLine;
    FUZZ_CHECK(dump.size() == payloadBytes + (IsOn(config.TIMEFRAMES) ? 29 : 0) + 2);
    FUZZ_CHECK(dump.find_first_of("\r\n") == dump.size() - 2);
    CheckNoCarryOver(rx, dec);
}

void CheckRaw(const FrameReport& report, const ReceiveState& rx)
{
    FUZZ_CHECK(report.frameCaption == "RAW KISS Frame");
    FUZZ_CHECK(DumpLines(report, colour::Blue) == static_cast<std::size_t>(rx.RawFrameLength + 19) / 20);
    FUZZ_CHECK(!report.hexLogLine && !report.dumpLogLine);
}

// The frame in the mode of the current settings and once more in the other
// mode, with the switches the other way round.
void OnFrame(const ReceiveState& rx, DecoderState& dec, unsigned settingsBits, const Clock& clock)
{
    FUZZ_CHECK(rx.RawFrameLength >= 3 && rx.RawFrameLength <= kRawFrameSize);
    FUZZ_CHECK(rx.At(1) == FEND && rx.At(rx.RawFrameLength) == FEND);
    for (const unsigned bits : {settingsBits, ~settingsBits}) {
        const Settings s = SettingsFor(bits);
        const FrameReport report = ReportFrame(rx, dec, s.decode, s.config, clock);
        CheckCommonShape(report, rx);
        if (s.decode)
            CheckDecoded(report, rx, dec, s.config);
        else
            CheckRaw(report, rx);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const FakeClock clock(std::chrono::sys_days{std::chrono::year{2013} / 7 / 28});
    const unsigned splits = data[0] & 0x07u;
    const unsigned settingsBits = data[0] >> 3;
    if (1 + splits > size)
        return 0;

    ReceiveState rx;
    DecoderState dec;
    std::size_t at = 1 + splits;
    for (unsigned chunk = 0; chunk <= splits; ++chunk) {
        const std::size_t length = chunk < splits ? data[1 + chunk] : size - at;
        const std::size_t end = std::min(at + length, size);
        for (; at < end; ++at)
            if (AssembleByte(rx, data[at]) == Assembled::Frame)
                OnFrame(rx, dec, settingsBits + chunk, clock);
    }
    return 0;
}
