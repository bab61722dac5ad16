// Start-up: every step is attempted once, in this order; a step that fails is
// skipped silently and the next one runs.
#include <QDir>

#include "app/configuration.h"
#include "text/lines.h"
#include "form1.h"
#include "time_server_query.h"
#include "tnc/frame_assembler.h"

namespace quillon {

void Form1::Form_Load()
{
    setWindowTitle(QStringLiteral("Quillon v. ") + FromCodePage(kVersionText));

    std::string text;
    if (ReadWholeFile(QDir(env_.programDir).filePath(QStringLiteral("quillon.ini")).toStdString(), text))
        Configuration = ParseConfiguration(text);
    ReceiveOptions receiveOptions;
    receiveOptions.report.timeFrames = IsOn(Configuration.TIMEFRAMES);
    receiveOptions.report.hexFile = IsOn(Configuration.HEXFILE);
    ReceivePipeline.SetOptions(receiveOptions);

    Counters.FrameCount = 0;
    SetUpPort(MSComm1, Configuration.COM_PORT, Configuration.COM_SETTINGS,
              Configuration.COM_HANDSHAKING, Label6, "IN (COM ");
    ResetFrameAssembly(Receive);
    ApplyMirrorSwitch();

    if (!Configuration.TIMESERVER.empty()) {
        timeServer_ = std::make_unique<TimeServerQuery>(
            [this](std::string_view line) { AppendStatus(line); }, *env_.clockSetter);
        timeServer_->SetRemotePortForTesting(env_.timeServerPort);
        timeServer_->Start(Configuration.TIMESERVER);
    }

    SetUpPort(MSComm2, Configuration.MIRROR_COM_PORT, Configuration.MIRROR_COM_SETTINGS,
              Configuration.MIRROR_COM_HANDSHAKING, Label7, "OUT (COM ");
    Label8->setText(FromCodePage(
        UpperCase("COM " + std::to_string(MSComm2.CommPort()) + ", " + MSComm2.Settings()) +
        " initialized "));

    Receive.LastFrameTime = UtcNow(*env_.clock);
    OpenLogs();
    RunTncInitScript();
    ShowLamps();
}

void Form1::SetUpPort(MSComm& port, const std::string& portField, const std::string& settingsField,
                      const std::string& handshakingField, QLabel* label, const char* leadingText)
{
    if (port.PortOpen())
        port.SetPortOpen(false);
    if (const auto number = ParsePortNumber(portField))
        port.SetCommPort(*number);
    port.SetSettings(settingsField);
    label->setText(FromCodePage(leadingText + portField + ", " + settingsField + "," + handshakingField + ")"));
    port.SetInputLen(0);
    port.SetInputMode(1);
    port.SetNullDiscard(false);
    port.SetHandshaking(IsOn(handshakingField) ? 2 : 0);
    port.SetPortOpen(true);
}

void Form1::OpenLogs()
{
    // Each name takes its own reading of the clock.
    const auto path = [this](const char* ending) {
        return QDir(env_.programDir)
                   .filePath(QString::fromStdString(FormatLogStem(UtcNow(*env_.clock)) + ending))
                   .toStdString();
    };
    RawLog.Open(path(".kss"));
    DumpLog.Open(path(".dump"));
    if (IsOn(Configuration.HEXFILE))
        HexLog.Open(path(".hex"));
}

}  // namespace quillon
