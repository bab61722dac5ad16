#include "headless_view.h"

#include "decoder/decoder.h"
#include "text/codepage.h"
#include "timesvc/timesvc.h"

namespace quillon {

std::string MonitorLine(const FrameReport& report)
{
    std::string line = FormatTimestamp(report.time) + " UTC ";
    if (!report.decoded) {
        line.append("[").append(report.frameCaption).append("]");
        return line;
    }
    const DecoderState& dec = *report.decoded;
    // A TNC with more than one radio port says which heard the frame.
    if (const int port = dec.DecodedFrameLength >= 2 ? dec.DecodedFrame[2] >> 4 : 0; port != 0)
        line.append("[").append(std::to_string(port)).append("] ");
    std::string path = dec.SourceCall + ">" + dec.DestinationCall;
    for (int slot = 1; slot <= kMaxDigipeaters; ++slot)
        if (const std::string& call = dec.DigipeaterCalls[std::size_t(slot)]; !call.empty())
            path.append(",").append(call);
    const auto payload = PayloadOf(dec);
    line.append(Windows1252ToUtf8(path, true)).append(": ");
    line.append(
        Windows1252ToUtf8(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()), true));
    if (!report.aprsLine.empty())
        line.append("  ").append(Windows1252ToUtf8(report.aprsLine, true));
    return line;
}

void HeadlessView::ShowReport(const FrameReport& report)
{
    if (monitor_)
        out_(MonitorLine(report), Severity::Info);
}

void HeadlessView::ShowStatus(std::string_view line, Severity severity)
{
    out_(Windows1252ToUtf8(line, true), severity);
}

}  // namespace quillon
