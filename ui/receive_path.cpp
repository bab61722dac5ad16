// The input port's event: bytes from the TNC are mirrored when mirroring is
// on and go through the receive pipeline; every other code is a line or error
// event for the status box.
#include "form1.h"
#include "tnc/serial_events.h"

namespace quillon {

namespace {

// The receive pipeline's results, to the window's logs and console.
class WindowSink final : public ReceiveSink {
public:
    explicit WindowSink(Form1& form) : form_(form) {}
    // A log that fails is shown in the window (the listener of the logs);
    // the frame goes on to the console and to the other logs all the same.
    void RawLog(std::string_view bytes) override { form_.Logs.Write(LogKind::Raw, bytes); }
    void HexLog(std::string_view line) override { form_.Logs.Write(LogKind::Hex, line); }
    void DumpLog(std::string_view line) override { form_.Logs.Write(LogKind::Dump, line); }
    void Report(const FrameReport& report) override
    {
        const QString caption = FromCodePage(report.frameCaption);
        if (form_.Frame5->title() != caption)
            form_.Frame5->setTitle(caption);
        form_.RichTextBox1->AddRuns(report.console);
    }

private:
    Form1& form_;
};

}  // namespace

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
        AddWrapping(BytesSent, std::uint32_t(block.size()));
        Label10->setText(QString::number(BytesSent) + QStringLiteral(" Bytes sent"));
    }

    WindowSink sink(*this);
    ReceivePipeline.SetDecoding(DecodeKissFrame->checkState() != Qt::Unchecked);
    // The label shows the byte count of the last frame end; nothing is drawn
    // before the handler returns, so setting it once per block shows the same.
    if (ReceivePipeline.Feed(block, sink) > 0)
        Label9->setText(FromCodePage(std::to_string(ReceivePipeline.Counts().BytesReceived) + " Bytes received (" +
                                     std::to_string(ReceivePipeline.Counts().FrameCount) + " Frames)"));
}

void Form1::ReportSerialEvent(int code)
{
    if (const auto line = SerialEventLine(code))
        AppendStatus(*line);
}

void Form1::MSComm2_OnComm()
{
    // Bytes arriving on the mirror port are dropped as they come, so that a
    // device that talks back, however much, holds no memory.
    const int code = MSComm2.CommEvent();
    if (code == comm_event::Receive)
        MSComm2.DiscardInput();
    else
        ReportSerialEvent(code);
}

}  // namespace quillon
