// The input port's event: bytes from the TNC are counted, mirrored when
// mirroring is on, and cut into frames; every other code is a line or error
// event for the status box.
#include "app/form1.h"
#include "decoder/frame_report.h"
#include "tnc/frame_assembler.h"
#include "tnc/kiss_escapes.h"
#include "tnc/serial_events.h"

namespace quillon {

void Form1::MSComm1_OnComm()
{
    const int code = MSComm1.CommEvent();
    if (code != comm_event::Receive) {
        ReportSerialEvent(code);
        return;
    }
    const std::string block = MSComm1.Input();
    if (block.empty())
        return;  // a notification that found nothing waiting

    Text1->Clear();
    if (MnuMirror->isChecked() && MSComm2.Output(block)) {
        // Only bytes handed to an open port count as sent.
        AddWrapping(Counters.BytesSent, std::uint32_t(block.size()));
        Label10->setText(QString::number(Counters.BytesSent) + QStringLiteral(" Bytes sent"));
    }
    Counters.BytesReceived += block.size();

    // The reports of all frames of the block go to the console as one edit.
    const ConsoleArea::Batch consoleBatch(*RichTextBox1);
    for (const char c : block) {
        const Assembled result = AssembleByte(Receive, static_cast<std::uint8_t>(c));
        if (!EndsIdle(result))
            continue;
        Receive.LastFrameTime = UtcNow(*env_.clock);
        if (result == Assembled::Frame)
            FrameEnd();
    }
    // The label shows the byte count of the last frame end; nothing is drawn
    // before the handler returns, so setting it once per block shows the same.
    if (label9Stale_) {
        label9Stale_ = false;
        Label9->setText(QString::fromStdString(std::to_string(Counters.BytesReceived) +
                                               " Bytes received (" +
                                               std::to_string(Counters.FrameCount) + " Frames)"));
    }
}

void Form1::FrameEnd()
{
    AddWrapping(Counters.FrameCount, 1);
    CountKissEscapes(Receive, Counters);
    label9Stale_ = true;
    if (IsOn(Configuration.TIMEFRAMES))
        WriteTimeFrame();
    RawLog.Write(std::string_view(reinterpret_cast<const char*>(&Receive.At(1)),
                                  std::size_t(Receive.RawFrameLength)));
    ReportFrame();
}

void Form1::WriteTimeFrame()
{
    // C0 09 "yyyy-MM-dd HH:nn:ss.mmm UTC" C0: 30 bytes, written as one piece.
    std::string frame;
    frame.reserve(30);
    frame += char(FEND);
    frame += char(0x09);
    frame += UtcTimestamp(*env_.clock);
    frame += " UTC";
    frame += char(FEND);
    RawLog.Write(frame);
}

void Form1::ReportFrame()
{
    const bool decode = DecodeKissFrame->checkState() != Qt::Unchecked;
    const FrameReport report = quillon::ReportFrame(Receive, Decoder, decode, Configuration, *env_.clock);
    if (Frame5->title() != QLatin1String(report.frameCaption.c_str()))
        Frame5->setTitle(QString::fromLatin1(report.frameCaption.c_str()));
    RichTextBox1->AddRuns(report.console);
    if (report.hexLogLine)
        HexLog.Write(*report.hexLogLine);
    if (report.dumpLogLine)
        DumpLog.Write(*report.dumpLogLine);
    Receive.LastFrameTime = UtcNow(*env_.clock);
}

void Form1::ReportSerialEvent(int code)
{
    if (const auto line = SerialEventLine(code))
        AppendStatus(*line);
}

void Form1::MSComm2_OnComm()
{
    // Bytes arriving on the mirror port are never read.
    const int code = MSComm2.CommEvent();
    if (code != comm_event::Receive)
        ReportSerialEvent(code);
}

}  // namespace quillon
