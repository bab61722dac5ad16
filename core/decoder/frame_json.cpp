#include "decoder/frame_json.h"

#include <charconv>
#include <string_view>

#include "text/hex.h"
#include "text/json.h"
#include "timesvc/timesvc.h"

namespace quillon {

namespace {

// `,"name":`, or `{"name":` for the first field.
void Key(std::string& line, std::string_view name)
{
    line.push_back(line.empty() ? '{' : ',');
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

void AppendDecoded(std::string& line, const DecoderState& dec)
{
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
}

}  // namespace

std::string FrameJsonLine(const FrameReport& report, std::span<const std::uint8_t> frame)
{
    std::string line;
    line.reserve(400 + (report.decoded ? 4 * PayloadOf(*report.decoded).size() : 0));
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
    AppendJsonString(line, FrameTypeText(command));
    Key(line, "length");
    AppendNumber(line, static_cast<int>(frame.size()));

    if (report.decoded)
        AppendDecoded(line, *report.decoded);
    line.append("}\n");
    return line;
}

}  // namespace quillon
