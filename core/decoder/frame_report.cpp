#include "frame_report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>

#include "decode.h"
#include "frame_aprs.h"
#include "text/hex.h"
#include "timesvc/timesvc.h"
#include "tnc/time_frame.h"

namespace quillon {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kBytesPerDumpLine = 20;
constexpr std::string_view kSeparator = "\r__________________________________________________________________\r";

void AppendDecimal(std::string& text, int n)
{
    char digits[12];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

// "2013-07-28 14:05:09.437 UTC: [32 Bytes KISS Frame (without CRC)]"
std::string HeaderLine(const ReceiveState& rx, bool kissPorts, std::chrono::system_clock::time_point time)
{
    std::string line = FormatTimestamp(time);
    line.reserve(line.size() + 48);
    line.append(" UTC: [");
    AppendDecimal(line, rx.RawFrameLength);
    line.append(" Bytes ").append(FrameTypeText(rx.At(2), kissPorts)).append("]\r");
    return line;
}

// "ctrl: 3   PID: F0 {UI}   6 Payload Bytes"; a frame without PID shows "--".
std::string ControlLine(const DecoderState& dec)
{
    std::string line;
    line.reserve(48 + dec.ControlText.size());
    line.append("ctrl: ");
    AppendDecimal(line, dec.ControlByte);
    line.append("   PID: ");
    if (dec.PidByte) {
        AppendHex(line, *dec.PidByte, 1);  // 0x08 shows as "8", 0xF0 as "F0"
    } else {
        line.append("--");
    }
    line.append(" {").append(dec.ControlText).append("}   ");
    AppendDecimal(line, static_cast<std::int16_t>(dec.DecodedFrameLength - dec.PayloadStart));
    line.append(" Payload Bytes\r");
    return line;
}

// The dump lines, 20 bytes each, labelled with the number of their first byte
// counted from 1, right-aligned in four characters; four digits get one blank
// in front all the same:
//   "   1 > 48 65 6C 6C 6F 0D "
//   " 1021 > 46 47 48 C0 "
void AppendHexDump(std::vector<ConsoleRun>& console, Bytes bytes, std::uint32_t colour)
{
    for (std::size_t first = 0; first < bytes.size(); first += kBytesPerDumpLine) {
        const Bytes chunk = bytes.subspan(first, std::min(kBytesPerDumpLine, bytes.size() - first));
        const int label = static_cast<int>(first) + 1;
        std::string line;
        line.reserve(8 + 3 * kBytesPerDumpLine + 1);
        line.append(label < 10 ? 3 : label < 100 ? 2 : 1, ' ');
        AppendDecimal(line, label);
        line.append(" > ");
        AppendHexBytes(line, chunk);
        line.push_back('\r');
        console.push_back({std::move(line), colour});
    }
}

Bytes RawBytes(const ReceiveState& rx)
{
    const int length = std::clamp<int>(rx.RawFrameLength, 0, kRawFrameSize);
    return Bytes(rx.RawFrame).subspan(1, static_cast<std::size_t>(length));
}

// "48 65 6C 6C 6F 0D\r\n": the dump without its trailing blank.
std::string HexLogLine(Bytes payload)
{
    std::string line;
    line.reserve(3 * payload.size() + 1);
    AppendHexBytes(line, payload);
    line.back() = '\r';
    line.push_back('\n');
    return line;
}

std::string DumpLogLine(std::string_view payloadText, const ReportOptions& options,
                        std::chrono::system_clock::time_point time)
{
    std::string line;
    line.reserve(payloadText.size() + 32);
    if (options.timeFrames)
        line.append(FormatTimestamp(time)).append(" UTC: ");
    line.append(payloadText).append("\r\n");
    return line;
}

}  // namespace

std::string PayloadText(Bytes bytes)
{
    std::string text;
    text.reserve(bytes.size() + 1);  // room for the line end
    for (const std::uint8_t b : bytes)
        text.push_back(b < 32 ? '.' : static_cast<char>(b));
    return text;
}

std::span<const std::uint8_t> PayloadOf(const DecoderState& dec)
{
    if (dec.PayloadStart < 1 || dec.PayloadStart >= dec.DecodedFrameLength)
        return {};
    return Bytes(dec.DecodedFrame)
        .subspan(static_cast<std::size_t>(dec.PayloadStart),
                 static_cast<std::size_t>(dec.DecodedFrameLength - dec.PayloadStart));
}

std::string_view FrameTypeText(std::uint8_t command, bool kissPorts)
{
    static const std::array<std::string, 16> kPortTypes = [] {
        std::array<std::string, 16> types;
        for (std::size_t port = 1; port < types.size(); ++port)
            types[port] = "KISS Frame port " + std::to_string(port) + " (without CRC)";
        return types;
    }();
    if (kissPorts && (command & 0x0F) == 0 && command != 0x00 && command != 0x80)
        return kPortTypes[command >> 4];
    switch (command) {
    case 0x00: return "KISS Frame (without CRC)";
    case 0x80: return "SMACK Frame (with CRC)";
    case kTimeCommand: return "TIME Frame";
    default: return "unknown Protocol";
    }
}

FrameReport ReportFrame(const ReceiveState& rx, bool decode, const ReportOptions& options, const Clock& clock)
{
    FrameReport report;
    report.time = clock.Now();
    report.frame.assign(rx.Bytes().begin(), rx.Bytes().end());
    std::vector<ConsoleRun>& console = report.console;
    console.reserve(9 + rx.RawFrameLength / kBytesPerDumpLine);  // the APRS line too
    // The lone CR after the previous frame's separator leaves one empty line.
    console.push_back({"\r", colour::Black});
    console.push_back({HeaderLine(rx, options.kissPorts, report.time), colour::Grey});

    Bytes dumped;
    std::uint32_t dumpColour = colour::Blue;
    if (decode) {
        report.frameCaption = "Payload KISS Frame";
        const DecoderState& dec = report.decoded.emplace(DecodeAx25Frame(rx));
        console.push_back({ControlLine(dec), colour::Grey});
        console.push_back({dec.AddressText + '\r', colour::Black});
        if (options.aprs) {
            if (const std::optional<AprsPacket> aprs = DecodeAprsFrame(dec, report.time)) {
                report.aprsLine = AprsSummaryLine(*aprs);
                console.push_back({report.aprsLine + '\r', colour::Purple});
            }
        }
        dumped = PayloadOf(dec);
        dumpColour = colour::Red;
        if (options.hexFile && !dumped.empty())
            report.hexLogLine = HexLogLine(dumped);
    } else {
        report.frameCaption = "RAW KISS Frame";
        dumped = RawBytes(rx);
    }
    AppendHexDump(console, dumped, dumpColour);

    std::string payloadText = PayloadText(dumped);
    if (decode)
        report.dumpLogLine = DumpLogLine(payloadText, options, report.time);
    payloadText.push_back('\r');
    console.push_back({std::move(payloadText), colour::Green});
    console.push_back({std::string(kSeparator), colour::DisabledText});
    return report;
}

}  // namespace quillon
