#include "station.h"

#include <QDir>
#include <algorithm>
#include <cstdio>

#include "serial_link.h"
#include "system_clock_setter.h"
#include "tcp_link.h"
#include "text/lines.h"
#include "time_server_query.h"
#include "timesvc/status_timer.h"
#include "tnc/serial_events.h"
#include "tnc/tnc_script.h"

namespace quillon {

namespace {

void SayOnStderr(std::string_view line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

// The receive pipeline's results, to the logs and the view. A log that fails
// is told once; the frame goes on to the view and the other logs all the same.
class Station::LogSink final : public ReceiveSink {
public:
    explicit LogSink(Station& station) : station_(station) {}
    void RawLog(std::string_view bytes) override { station_.logs_.Write(LogKind::Raw, bytes); }
    void HexLog(std::string_view line) override { station_.logs_.Write(LogKind::Hex, line); }
    void DumpLog(std::string_view line) override { station_.logs_.Write(LogKind::Dump, line); }
    void JsonLog(std::string_view line) override { station_.logs_.Write(LogKind::Json, line); }
    void Report(const FrameReport& report) override { station_.view_->ShowReport(report); }

private:
    Station& station_;
};

Station::Station(StationEnvironment environment, QObject* parent)
    : QObject(parent),
      env_(std::move(environment)),
      receiver_(*env_.clock),
      logs_(env_.programDir.toStdString()),
      input_(std::make_unique<SerialLink>(kInputPortNumber, env_.programDir, this)),
      mirror_(std::make_unique<SerialLink>(kMirrorPortNumber, env_.programDir, this)),
      secondTimer_(this)
{
    if (!env_.clockSetter) {
        ownClockSetter_ = std::make_unique<RealSystemClockSetter>();
        env_.clockSetter = ownClockSetter_.get();
    }
    if (!env_.logClock)
        env_.logClock = env_.clock;
    logs_.SetFailureListener([this](const std::string& name, int failure) { OnLogFailure(name, failure); });

    ConnectInput();
    // Bytes arriving on the mirror link are dropped as they come, so that a
    // device that talks back, however much, holds no memory.
    ConnectLinkEvents(*mirror_);
    // One shot at a time, aimed afresh from the clock after every tick: a
    // repeating timer drifts through the second and now and then skips one.
    secondTimer_.setSingleShot(true);
    secondTimer_.setTimerType(Qt::PreciseTimer);
    connect(&secondTimer_, &QTimer::timeout, this, &Station::OnSecondTimer);
}

void Station::ConnectInput()
{
    connect(input_.get(), &Link::Received, this, &Station::OnInputBytes);
    ConnectLinkEvents(*input_);
}

void Station::ConnectLinkEvents(Link& link)
{
    connect(&link, &Link::LineEvent, this, &Station::OnLineEvent);
    connect(&link, &Link::Lost, this, [this, &link](const QString& reason) { OnLost(link, reason); });
    connect(&link, &Link::Back, this, [this, &link] { OnBack(link); });
}

Station::~Station()
{
    // Links close before the rest goes: their close may still send.
    input_.reset();
    mirror_.reset();
}

Link& Station::Input()
{
    return *input_;
}

Link& Station::Mirror()
{
    return *mirror_;
}

void Station::Start()
{
    std::string text;
    if (ReadWholeFile(QDir(env_.programDir).filePath(QStringLiteral("quillon.ini")).toStdString(), text))
        settings_ = ParseSettings(text);
    ReceiveOptions options = receiver_.Options();
    options.report.timeFrames = settings_.timeFrames;
    options.report.hexFile = settings_.hexFile;
    options.json = settings_.jsonFile;
    receiver_.SetOptions(options);

    // KISS_TCP: the input is a KISS server on the network instead of
    // COM_PORT; a value that names none leaves the serial input.
    if (settings_.kissTcp) {
        input_ = std::make_unique<TcpLink>(*settings_.kissTcp, this);
        ConnectInput();
        networkInput_ = true;
    } else if (!settings_.kissTcpRefused.empty()) {
        AppendStatus(KissTcpRefusedLine(settings_.kissTcpRefused));
    }
    // A link that goes away is reported and opened again: the input link
    // always, the mirror link while mirroring is on (ApplyMirrorSwitch).
    input_->SetReopening(true);
    if (auto* serial = qobject_cast<SerialLink*>(input_.get()))
        SetUpLink(*serial, settings_.input);
    else
        input_->Open();
    receiver_.Reset();
    ApplyMirrorSwitch();

    if (!settings_.timeServer.empty()) {
        timeServer_ = std::make_unique<TimeServerQuery>(
            [this](std::string_view line) { AppendStatus(line); }, *env_.clockSetter);
        timeServer_->SetRemotePortForTesting(env_.timeServerPort);
        timeServer_->Start(settings_.timeServer);
    }

    SetUpLink(*mirror_, settings_.mirror);
    view_->ShowLinks(InputLinkLabel(settings_), MirrorLinkLabel(settings_), MirrorInEffectLine(settings_));

    receiver_.Restart();
    OpenLogs();
    RunInitScript();
    view_->ShowLamps(Lamps());
    if (env_.ownTicks)
        secondTimer_.start(DelayToNextTick(env_.clock->Now()));
}

void Station::SetUpLink(SerialLink& link, const SerialLinkSettings& settings)
{
    if (link.IsOpen())
        link.Close();
    if (settings.port)
        link.SetPortNumber(*settings.port);
    if (settings.line)
        link.SetSettings(*settings.line);
    link.SetHandshaking(settings.rtsCts);
    link.Open();
}

void Station::OpenLogs()
{
    const DateTime now = UtcNow(*env_.logClock);
    logDay_ = std::chrono::floor<std::chrono::days>(now);
    logs_.Open(FormatLogStem(now), settings_.hexFile, settings_.jsonFile);
}

// With LOG_ROTATE=DAILY, the first frame or tick of a new UTC day starts a
// new set of logs named after its midnight, ddmmyyyy_0000. A frame is never
// split: this runs between blocks from the TNC.
void Station::RollLogsAtMidnight()
{
    if (!settings_.dailyLogs || stopped_)
        return;
    const auto today = std::chrono::floor<std::chrono::days>(UtcNow(*env_.logClock));
    if (today == logDay_)
        return;
    logDay_ = today;
    logs_.Roll(FormatLogStem(DateTime(today)));
}

void Station::Stop(const std::function<bool()>& giveUp)
{
    if (stopped_)
        return;
    stopped_ = true;
    // No frame is handled from here on: what arrives while the exit script
    // goes out is dropped unread, and a link that went away stays closed.
    input_->EndOfRun();
    mirror_->EndOfRun();
    secondTimer_.stop();
    // The cleanup deletes the logs of this run that are empty, and leaves
    // those another run holds.
    logs_.Close();
    // The input link is still open: the exit script returns the TNC to its
    // command mode, and nothing it answers is logged any more.
    RunExitScript();
    input_->Close(giveUp);
    mirror_->Close(giveUp);
}

// At start-up, from MIRROR. A link opened here still has its initial number
// and settings; the next start-up step sets it up from the configuration.
void Station::ApplyMirrorSwitch()
{
    mirroring_ = settings_.mirroring;
    mirror_->SetReopening(mirroring_);
    view_->ShowMirroring(mirroring_);
    view_->ShowLamps(Lamps());
    if (mirroring_ && !mirror_->IsOpen())
        mirror_->Open();
    else if (!mirroring_ && mirror_->IsOpen())
        mirror_->Close();
}

void Station::SetMirroring(bool on)
{
    mirroring_ = on;
    view_->ShowMirroring(on);
    view_->ShowLamps(Lamps());
    // A mirror link lost while mirroring was on is tried again from now on,
    // and no more once it is off.
    mirror_->SetReopening(on);
    if (on && !mirror_->IsOpen())
        mirror_->Open();
    else if (!on && mirror_->IsOpen())
        mirror_->Close();
    view_->ShowLamps(Lamps());
}

void Station::SetDecoding(bool on)
{
    receiver_.SetDecoding(on);
}

void Station::ClearCounters()
{
    receiver_.ClearCounts();
    bytesSent_ = 0;
    mirrorBytesDropped_ = 0;
}

PortLamps Station::Lamps() const
{
    return StatusLamps(input_->IsOpen(), mirror_->IsOpen(), mirroring_);
}

// Bytes from the TNC: mirrored while mirroring is on, then through the
// receive pipeline.
void Station::OnInputBytes(const QByteArray& bytes)
{
    const std::string_view block(bytes.constData(), std::size_t(bytes.size()));
    RollLogsAtMidnight();
    view_->ClearStatus();
    if (mirroring_) {
        // Only bytes handed to an open link count as sent; a block that an
        // open link refuses (its queue full) is dropped whole and counted.
        if (mirror_->Write(block)) {
            AddWrapping(bytesSent_, std::uint32_t(block.size()));
            view_->ShowBytesSent(bytesSent_);
        } else if (mirror_->IsOpen()) {
            mirrorBytesDropped_ += block.size();
        }
    }
    LogSink sink(*this);
    // The counters show the state at the last frame end; nothing is drawn
    // before the handler returns, so telling them once per block shows the same.
    if (receiver_.Feed(block, sink) > 0)
        view_->ShowReceiveCounts(receiver_.Counts());
}

void Station::OnLineEvent(int code)
{
    if (const auto line = SerialEventLine(code))
        AppendStatus(*line);
}

// A frame cut off by the loss is dropped, never joined to the first frame
// after the return.
void Station::OnLost(Link& link, const QString& reason)
{
    if (&link == input_.get())
        receiver_.Reset();
    AppendStatus(LinkLostLine(link.Name(), reason.toLatin1().toStdString()));
    view_->ShowLamps(Lamps());
}

// A TNC that was switched off has left KISS mode: the init script puts it
// back (one that stayed in KISS mode takes the script's text as noise).
void Station::OnBack(Link& link)
{
    AppendStatus(link.BackLine());
    view_->ShowLamps(Lamps());
    if (&link == input_.get())
        RunInitScript();
}

// The status box would not do for a log that fails: every block from the
// TNC empties it. The view keeps the failing logs in sight until they write
// again, and standard error says when one begins and ends failing.
void Station::OnLogFailure(const std::string& name, int failure)
{
    logEcho_.Say(name, failure);
    view_->ShowLogFailures(logs_.FailureLines());
}

void Station::Tick()
{
    RollLogsAtMidnight();
    view_->ShowLamps(Lamps());
    const DateTime now = UtcNow(*env_.clock);
    view_->ShowClock(FormatClock(now));
    if (const auto line = StatusTimerTick(statusTimer_, receiver_.LastFrameTime(), now))
        AppendStatus(*line);
}

// The tick made, the next one is aimed from the clock at .900 of the next
// second (see DelayToNextTick), so the ticks never drift; one that came late
// into the following second is followed by one in the second after it,
// never by a second one in the same second.
void Station::OnSecondTimer()
{
    const DateTime tickSecond = UtcNow(*env_.clock);
    Tick();
    if (!stopped_)
        secondTimer_.start(DelayToNextTick(env_.clock->Now(), tickSecond));
}

void Station::ReopenLogs()
{
    if (stopped_)
        return;
    logs_.Reopen();
    AppendStatus("logs reopened: " + logs_.Stem());
}

void Station::RunInitScript()
{
    RunScript(kTncInitScript);
}

void Station::RunExitScript()
{
    RunScript(kTncExitScript);
}

void Station::RunScript(std::string_view fileName)
{
    // A KISS server would take the command text for a broken frame, or
    // worse; the status box tells why nothing went, once a run.
    if (networkInput_) {
        if (std::find(scriptsNotSent_.begin(), scriptsNotSent_.end(), fileName) == scriptsNotSent_.end()) {
            scriptsNotSent_.emplace_back(fileName);
            AppendStatus(ScriptNotSentLine(fileName));
        }
        return;
    }
    RunTncScript(
        env_.programDir.toStdString(), fileName, [this] { return input_->IsOpen(); },
        [this](std::string_view bytes) { return input_->Write(bytes); },
        [this](std::string_view line) { AppendStatus(line); });
}

void Station::AppendStatus(std::string_view line)
{
    view_->ShowStatusLine(line);
    if (env_.echoStatus)
        SayOnStderr(line);
}

}  // namespace quillon
