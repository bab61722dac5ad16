// Start-up: every step is attempted once, in this order; a step that fails is
// skipped silently and the next one runs. Also the ports' return after their
// device went away.
#include <QDir>

#include "app/configuration.h"
#include "text/lines.h"
#include "form1.h"
#include "time_server_query.h"
#include "tnc/serial_events.h"

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

    // A port that goes away is reported and opened again: the input port
    // always, the mirror port while mirroring is on (ApplyMirrorSwitch).
    for (MSComm* port : {&MSComm1, &MSComm2}) {
        connect(port, &MSComm::Lost, this, [this, port](const QString& reason) { MSComm_Lost(*port, reason); });
        connect(port, &MSComm::Reopened, this, [this, port] { MSComm_Reopened(*port); });
    }
    MSComm1.SetReopening(true);

    SetUpPort(MSComm1, Configuration.COM_PORT, Configuration.COM_SETTINGS,
              Configuration.COM_HANDSHAKING, Label6, "IN (COM ");
    ReceivePipeline.Reset();
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

    ReceivePipeline.Restart();
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
    Logs.Open(FormatLogStem(UtcNow(*env_.clock)), IsOn(Configuration.HEXFILE));
}

// A frame cut off by the loss is dropped, never joined to the first frame
// after the return.
void Form1::MSComm_Lost(MSComm& port, const QString& reason)
{
    if (&port == &MSComm1)
        ReceivePipeline.Reset();
    AppendStatus(PortLostLine(port.CommPort(), reason.toLatin1().toStdString()));
    ShowLamps();
}

// A TNC that was switched off has left KISS mode: the init script puts it
// back (one that stayed in KISS mode takes the script's text as noise).
void Form1::MSComm_Reopened(MSComm& port)
{
    AppendStatus(PortReopenedLine(port.CommPort()));
    ShowLamps();
    if (&port == &MSComm1)
        RunTncInitScript();
}

}  // namespace quillon
