#include "station.h"

#include <QDir>
#include <algorithm>
#include <array>

#include "app/configuration.h"
#include "igate_link.h"
#include "kiss/frame_assembler.h"
#include "kiss_server.h"
#include "line_output.h"
#if QUILLON_MQTT
#include "mqtt_publisher.h"
#endif
#include "serial_link.h"
#include "small_file.h"
#include "system_clock_setter.h"
#include "tcp_link.h"
#include "text/lines.h"
#include "time_server_query.h"
#include "timesvc/status_timer.h"
#include "tnc/serial_events.h"
#include "tnc/tnc_script.h"

namespace quillon {

using enum Severity;

// The receive pipeline's results, to the logs and the view. The records of a
// block (of up to 256 frames at a time) are kept and each log gets them in
// one write at the block's end (a new day's first frame writes those before
// it to the old set first); only then are the block's reports shown, so that
// every frame is on disk before anything after it is shown. A log that fails
// is told once; the frames go on to the view and the other logs all the same.
class Station::LogSink final : public ReceiveSink {
public:
    explicit LogSink(Station& station) : station_(station) {}
    void FrameTime(std::chrono::system_clock::time_point t) override
    {
        station_.lastFrame_ = t;
        station_.RollLogsAtMidnight(t);
    }
    void RawLog(std::string_view bytes) override { logs_[std::size_t(LogKind::Raw)] += bytes; }
    void HexLog(std::string_view line) override { logs_[std::size_t(LogKind::Hex)] += line; }
    void DumpLog(std::string_view line) override { logs_[std::size_t(LogKind::Dump)] += line; }
    // The JSON lines are made for the JSON log, the MQTT broker or both.
    void JsonLog(std::string_view line) override
    {
        if (station_.settings_.jsonFile)
            logs_[std::size_t(LogKind::Json)] += line;
#if QUILLON_MQTT
        if (station_.mqtt_)
            station_.mqtt_->Publish(line);
#endif
    }
    // A block read from a KISS server can hold tens of thousands of frames:
    // they are written and shown a batch at a time, so that little is kept.
    void KeepReport(FrameReport&& report) override
    {
        station_.NoteWatched(report);
        reports_.push_back(std::move(report));
        if (reports_.size() >= kBatch) {
            WriteLogs();
            ShowReports();
        }
    }

    void WriteLogs()
    {
        for (std::size_t kind = 0; kind < logs_.size(); ++kind)
            if (!logs_[kind].empty()) {
                station_.logs_.Write(LogKind(kind), logs_[kind]);
                logs_[kind].clear();
            }
    }
    void ShowReports()
    {
        for (const FrameReport& report : reports_)
            station_.Tell(&StationView::ShowReport, report);
        reports_.clear();
    }

private:
    static constexpr std::size_t kBatch = 256;
    Station& station_;
    std::array<std::string, 4> logs_;
    std::vector<FrameReport> reports_;
};

Station::Station(StationEnvironment environment, QObject* parent)
    : QObject(parent),
      env_(std::move(environment)),
      receiver_(*env_.clock),
      logs_(env_.programDir.toStdString()),
      sink_(std::make_unique<LogSink>(*this)),
      secondTimer_(this)
{
    if (!env_.clockSetter) {
        ownClockSetter_ = std::make_unique<RealSystemClockSetter>();
        env_.clockSetter = ownClockSetter_.get();
    }
    if (!env_.logClock)
        env_.logClock = env_.clock;
    logs_.SetFailureListener([this](const std::string& name, int failure) { OnLogFailure(name, failure); });
    logs_.SetNoticeListener([this](const std::string& line) { AppendStatus(line); });
    // One shot at a time, aimed afresh from the clock after every tick: a
    // repeating timer drifts through the second and now and then skips one.
    secondTimer_.setSingleShot(true);
    secondTimer_.setTimerType(Qt::PreciseTimer);
    connect(&secondTimer_, &QTimer::timeout, this, &Station::OnSecondTimer);
}

// The input: a KISS server with KISS_TCP, else the serial port; it is kept
// open, and tried again while away. The mirror link is opened whatever MIRROR
// says, and kept open while mirroring is on; bytes arriving on it are dropped
// as they come, so that a device that talks back, however much, holds no
// memory.
void Station::MakeLinks()
{
    if (!settings_.kissTcpRefused.empty())
        AppendStatus(KissTcpRefusedLine(settings_.kissTcpRefused), Warning);
    if (settings_.kissTcp)
        input_ = std::make_unique<TcpLink>(*settings_.kissTcp);
    else
        input_ = MakeSerialLink(kInputPortNumber, settings_.input);
    mirror_ = MakeSerialLink(kMirrorPortNumber, settings_.mirror);
    connect(input_.get(), &Link::Received, this, &Station::OnInputBytes);
    ConnectLinkEvents(*input_);
    ConnectLinkEvents(*mirror_);
}

// Other programs and APRS-IS get the frames only when their keys are set.
void Station::MakeSharers()
{
    for (const std::string& line : settings_.sharingRefused)
        AppendStatus(line, Warning);
    const auto say = [this](std::string_view line, Severity severity) { AppendStatus(line, severity); };
    if (settings_.kissServer) {
        kissServer_ = std::make_unique<KissServer>(*settings_.kissServer, say);
        kissServer_->Listen();
    }
    if (settings_.igateServer) {
        igate_ = std::make_unique<IgateLink>(*settings_.igateServer, settings_.igate, say);
        igate_->Start();
    }
}

std::unique_ptr<Link> Station::MakeSerialLink(std::int16_t port, const SerialLinkSettings& settings)
{
    auto link = std::make_unique<SerialLink>(port, env_.programDir);
    if (settings.port)
        link->SetPortNumber(*settings.port);
    if (settings.line)
        link->SetSettings(*settings.line);
    link->SetHandshaking(settings.rtsCts);
    return link;
}

void Station::ConnectLinkEvents(Link& link)
{
    connect(&link, &Link::LineEvent, this, &Station::OnLineEvent);
    connect(&link, &Link::Lost, this, [this, &link](const QString& reason) { OnLost(link, reason); });
    connect(&link, &Link::Back, this, [this, &link] { OnBack(link); });
    connect(&link, &Link::Reconnecting, this,
            [this, &link](int tries) { AppendStatus(LinkReconnectingLine(link.Name(), tries), Warning); });
}

Station::~Station()
{
    // Links close before the rest goes: their close may still send.
#if QUILLON_MQTT
    mqtt_.reset();
#endif
    input_.reset();
    mirror_.reset();
    igate_.reset();
    kissServer_.reset();
    for (StationView* view : views_)
        view->station_ = nullptr;
}

StationView::~StationView()
{
    if (station_)
        station_->RemoveView(*this);
}

void Station::AddView(StationView& view)
{
    if (view.station_)
        view.station_->RemoveView(view);
    view.station_ = this;
    views_.push_back(&view);
}

void Station::RemoveView(StationView& view)
{
    if (view.station_ != this)
        return;
    view.station_ = nullptr;
    views_.erase(std::find(views_.begin(), views_.end(), &view));
}

void Station::ReadConfiguration()
{
    if (std::exchange(configurationRead_, true))
        return;
    const SmallFile ini = ReadSmallFile(env_.programDir.toStdString(), "quillon.ini");
    settings_ = ParseSettings(ini.text);
    if (!ini.refusal.empty())
        AppendStatus(ini.refusal, Warning);
    for (const std::string& line : CheckSettings(ini.text).unknownKeys)
        AppendStatus("quillon.ini " + line, Warning);
}

void Station::Start()
{
    ReadConfiguration();
    const SmallFile watch = ReadSmallFile(env_.programDir.toStdString(), kWatchFileName);
    watchList_ = WatchList(watch.text);
    if (!watch.refusal.empty())
        AppendStatus(watch.refusal, Warning);
    ownLocation_ = ParseLocation(settings_.myLocation);
    if (!settings_.myLocation.empty() && !ownLocation_)
        AppendStatus("MY_LOCATION not understood (" + settings_.myLocation + "): no distances", Warning);
    if (!settings_.logKeepDaysRefused.empty())
        AppendStatus("LOG_KEEP_DAYS not understood (" + settings_.logKeepDaysRefused + "): no logs deleted", Warning);
    silence_.limit = settings_.silenceWarning;
    ReceiveOptions options = receiver_.Options();
    options.report.timeFrames = settings_.timeFrames;
    options.report.hexFile = settings_.hexFile;
    options.report.aprs = settings_.aprs;
    options.report.kissPorts = settings_.kissPorts;
    options.json = settings_.jsonFile || settings_.mqtt;
    receiver_.SetOptions(options);

    MakeLinks();
    // A KISS_TCP that names no server opens nothing: the serial port in its
    // place would be some other device.
    if (settings_.kissTcpRefused.empty()) {
        input_->SetReopening(true);
        input_->Open();
    }
    MakeSharers();
    receiver_.Reset();
    SetMirroring(settings_.mirroring);
    if (!settings_.timeServer.empty()) {
        timeServer_ =
            std::make_unique<TimeServerQuery>([this](std::string_view line) { AppendStatus(line); }, *env_.clockSetter);
        timeServer_->Start(settings_.timeServer, env_.timeServerPort);
    }
    // A mirror port that cannot be opened is said once where no lamp shows it.
    if (mirror_->GetState() == Link::State::Closed && !mirror_->Open() && env_.sayPortsNotOpened)
        AppendStatus(mirror_->Name() + " not opened: " + mirror_->LastFailure().toStdString(), Warning);
    Tell(&StationView::ShowLinks, InputLinkLabel(settings_), MirrorLinkLabel(settings_), MirrorInEffectLine(settings_));
    Tell(&StationView::ShowOwnLocation, ownLocation_);

    receiver_.Restart();
    start_ = lastFrame_ = env_.clock->Now();
    OpenLogs();
    StartMqtt();
    RunInitScript();
    Tell(&StationView::ShowLamps, Lamps());
    if (env_.ownTicks)
        secondTimer_.start(DelayToNextTick(env_.clock->Now()));
}

// The broker is connected to in the background; a build without
// libmosquitto says so and makes no JSON lines.
void Station::StartMqtt()
{
#if QUILLON_MQTT
    if (!settings_.mqttRefused.empty())
        AppendStatus(MqttPublisher::RefusedLine(settings_.mqttRefused), Warning);
    if (!settings_.mqtt)
        return;
    MqttPublisher::Options options{*settings_.mqtt, settings_.mqttTopic, settings_.mqttUser, settings_.mqttPassword};
    if (options.topic.empty())
        options.topic = MqttPublisher::DefaultTopic();
    mqtt_ = std::make_unique<MqttPublisher>(
        std::move(options), [this](std::string_view line, Severity severity) { AppendStatus(line, severity); });
    mqtt_->Start();
#else
    if (settings_.mqtt || !settings_.mqttRefused.empty()) {
        AppendStatus("MQTT not built in (this build has no libmosquitto)", Warning);
        ReceiveOptions options = receiver_.Options();
        options.json = settings_.jsonFile;
        receiver_.SetOptions(options);
    }
#endif
}

std::uint64_t Station::MqttPublished() const
{
#if QUILLON_MQTT
    if (mqtt_)
        return mqtt_->Published();
#endif
    return 0;
}

std::uint64_t Station::MqttDropped() const
{
#if QUILLON_MQTT
    if (mqtt_)
        return mqtt_->Dropped();
#endif
    return 0;
}

bool Station::MqttConnected() const
{
#if QUILLON_MQTT
    if (mqtt_)
        return mqtt_->Connected();
#endif
    return false;
}

void Station::OpenLogs()
{
    const DateTime now = UtcNow(*env_.logClock);
    logDay_ = std::chrono::floor<std::chrono::days>(now);
    logs_.Open(FormatLogStem(now), settings_.hexFile, settings_.jsonFile);
    DeleteOldLogs(now);
}

// With LOG_KEEP_DAYS, at the start and at every daily roll: the log sets of
// earlier runs and days that are older go, each one said.
void Station::DeleteOldLogs(DateTime now)
{
    const int days = settings_.logKeepDays;
    for (const std::string& name : logs_.DeleteOldSets(days, now))
        AppendStatus("log deleted, older than " + std::to_string(days) + (days == 1 ? " day: " : " days: ") + name);
}

// With LOG_ROTATE=DAILY, the first frame or tick of a new UTC day starts a
// new set of logs named after its midnight, ddmmyyyy_0000. A frame is never
// split, and goes to the set of its own time's day.
void Station::RollLogsAtMidnight(std::chrono::system_clock::time_point now)
{
    if (!settings_.dailyLogs || stopped_)
        return;
    const auto today = std::chrono::floor<std::chrono::days>(env_.logClock == env_.clock ? now : env_.logClock->Now());
    if (today == logDay_)
        return;
    logDay_ = today;
    sink_->WriteLogs();
    logs_.Roll(FormatLogStem(DateTime(today)));
    DeleteOldLogs(UtcNow(*env_.logClock));
}

void Station::Stop(const std::function<bool()>& giveUp)
{
    if (stopped_)
        return;
    stopped_ = true;
    secondTimer_.stop();
    if (!input_)  // never started
        return;
    // No frame is handled from here on: what arrives while the exit script
    // goes out is dropped unread, and a link that went away stays closed.
    input_->EndOfRun();
    mirror_->EndOfRun();
    // The cleanup deletes the logs of this run that are empty, and leaves
    // those another run holds.
    logs_.Close();
    // The input link is still open: the exit script returns the TNC to its
    // command mode, and nothing it answers is logged any more.
    RunExitScript();
#if QUILLON_MQTT
    if (mqtt_)
        mqtt_->Stop(giveUp);
#endif
    input_->Close(giveUp);
    mirror_->Close(giveUp);
    if (kissServer_)
        kissServer_->Close();
    if (igate_) {
        igate_->Connection().EndOfRun();
        igate_->Connection().Close(giveUp);
    }
}

// At start-up from MIRROR, and the user's switch. A frame begun while
// mirroring was off is not mirrored in part (while a sharer is on, frames are
// cut all the time, and one begun then is mirrored whole).
void Station::SetMirroring(bool on)
{
    mirroring_ = on;
    if (!kissServer_ && !igate_)
        ResetFrameAssembly(wholeFrame_);
    Tell(&StationView::ShowMirroring, on);
    // A mirror link lost while mirroring was on is tried again from now on,
    // and no more once it is off.
    mirror_->SetReopening(on);
    if (on && !mirror_->IsOpen())
        mirror_->Open();
    else if (!on && mirror_->GetState() != Link::State::Closed)
        mirror_->Close();
    Tell(&StationView::ShowLamps, Lamps());
}

std::vector<std::string> Station::SharingCounts() const
{
    std::vector<std::string> lines;
    if (igate_) {
        lines.push_back(std::to_string(igate_->Gated()) + " Frames gated to APRS-IS");
        lines.push_back(std::to_string(igate_->NotGated()) + " Frames not gated");
    }
    if (kissServer_) {
        lines.push_back(std::to_string(kissServer_->Clients()) + " KISS clients");
        lines.push_back(std::to_string(kissServer_->FramesDropped()) + " Frames dropped for slow KISS clients");
        lines.push_back(std::to_string(kissServer_->FramesFromClients()) + " Frames from KISS clients, not sent");
    }
    return lines;
}

void Station::SetDecoding(bool on) { receiver_.SetDecoding(on); }

void Station::ClearCounters()
{
    receiver_.ClearCounts();
    bytesSent_ = 0;
    mirrorBytesDropped_ = 0;
}

StationFigures Station::Figures() const
{
    return {.counts = receiver_.Counts(),
            .mirrorBytesDropped = mirrorBytesDropped_,
            .inputName = input_ ? input_->Name() : std::string(),
            .inputUp = input_ && input_->IsOpen(),
            .mirrorUp = mirror_ && mirror_->IsOpen(),
            .logsFailing = int(logs_.FailureLines().size()),
            .start = start_,
            .lastFrame = lastFrame_,
            .igate = igate_ ? std::optional(StationFigures::Igate{igate_->Gated(), igate_->NotGated()}) : std::nullopt,
            .kissServer = kissServer_ ? std::optional(StationFigures::KissServer{std::uint64_t(kissServer_->Clients()),
                                                                                 kissServer_->FramesDropped(),
                                                                                 kissServer_->FramesFromClients()})
                                      : std::nullopt,
            .mqtt = settings_.mqtt
                        ? std::optional(StationFigures::Mqtt{MqttPublished(), MqttDropped(), MqttConnected()})
                        : std::nullopt};
}

PortLamps Station::Lamps() const
{
    return StatusLamps(input_ && input_->IsOpen(), mirror_ && mirror_->IsOpen(), mirroring_);
}

// Bytes from the TNC: mirrored while mirroring is on, then through the
// receive pipeline.
void Station::OnInputBytes(const QByteArray& bytes)
{
    const std::string_view block(bytes.constData(), std::size_t(bytes.size()));
    Tell(&StationView::ClearStatus);
    ShareWholeFrames(block);
    const int frames = receiver_.Feed(block, *sink_);
    sink_->WriteLogs();
    sink_->ShowReports();
    // The counters show the state at the last frame end; nothing is drawn
    // before the handler returns, so telling them once per block shows the same.
    if (frames > 0)
        Tell(&StationView::ShowReceiveCounts, receiver_.Counts());
}

// The mirror, the KISS server and the igate get the frames of the block that
// are whole, each as it came (a frame begun at the block's end goes with the
// block that ends it), so that what they pass on is a KISS stream of received
// frames however full their queues: a frame the open mirror link refuses is
// dropped whole and counted. Bytes outside frames are not passed on.
void Station::ShareWholeFrames(std::string_view block)
{
    if (!mirroring_ && !kissServer_ && !igate_)
        return;
    bool sent = false;
    sharedFrames_.clear();
    sharedSizes_.clear();
    for (const char c : block) {
        if (AssembleByte(wholeFrame_, static_cast<std::uint8_t>(c)) != Assembled::Frame)
            continue;
        const auto frame = wholeFrame_.Bytes();
        const std::string_view bytes(reinterpret_cast<const char*>(frame.data()), frame.size());
        if (kissServer_) {
            sharedFrames_.append(bytes);
            sharedSizes_.push_back(std::uint32_t(bytes.size()));
        }
        if (igate_)
            igate_->Offer(wholeFrame_);
        if (!mirroring_)
            continue;
        if (mirror_->Write(bytes)) {
            AddWrapping(bytesSent_, std::uint32_t(bytes.size()));
            sent = true;
        } else if (mirror_->IsOpen()) {
            mirrorBytesDropped_ += bytes.size();
        }
    }
    if (kissServer_)
        kissServer_->Share(sharedFrames_, sharedSizes_);
    if (sent)
        Tell(&StationView::ShowBytesSent, bytesSent_);
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
    if (&link == input_.get()) {
        receiver_.Reset();
        ResetFrameAssembly(wholeFrame_);
    }
    AppendStatus(LinkLostLine(link.Name(), reason.toLatin1().toStdString()), Warning);
    Tell(&StationView::ShowLamps, Lamps());
}

// A TNC that was switched off has left KISS mode: the init script puts it
// back (one that stayed in KISS mode takes the script's text as noise).
void Station::OnBack(Link& link)
{
    AppendStatus(link.BackLine());
    Tell(&StationView::ShowLamps, Lamps());
    if (&link == input_.get())
        RunInitScript();
}

// The status box would not do for a log that fails: every block from the
// TNC empties it. The view keeps the failing logs in sight until they write
// again, and standard error says when one begins and ends failing, "NAME:
// REASON" and "NAME: writing again", once each: a new reason in between is
// left to the view.
void Station::OnLogFailure(const std::string& name, int failure)
{
    // Standard error hears when a log begins and ends failing; a new reason in
    // between is left to the view's red line.
    const auto said = std::find_if(logsSaidFailing_.begin(), logsSaidFailing_.end(),
                                   [&](const auto& failing) { return failing.first == name; });
    if (failure == 0 && said != logsSaidFailing_.end()) {
        const int before = said->second;
        logsSaidFailing_.erase(said);
        SayOnStandardError(LogChangeLine(name, failure, before));
    } else if (failure != 0 && said == logsSaidFailing_.end()) {
        logsSaidFailing_.emplace_back(name, failure);
        SayOnStandardError(LogChangeLine(name, failure), Warning);
    } else if (failure != 0) {
        said->second = failure;
    }
    Tell(&StationView::ShowLogFailures, logs_.FailureLines());
}

void Station::Tick()
{
    const auto reading = env_.clock->Now();
    RollLogsAtMidnight(reading);
    if (!stopped_)
        logs_.Retry();
    Tell(&StationView::ShowLamps, Lamps());
    const DateTime now = std::chrono::floor<std::chrono::seconds>(reading);
    Tell(&StationView::ShowClock, FormatClock(now));
    if (const auto line = StatusTimerTick(statusTimer_, receiver_.LastFrameTime(), now); line && env_.idleLines)
        AppendStatus(*line);
    if (const auto line = SilenceTick(silence_, receiver_.LastFrameTime(), now))
        AppendStatus(*line, silence_.silentSince ? Warning : Info);
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
    // Said for the logs that did reopen; the others are tried again, and
    // said when they open.
    const std::vector<std::string> reopened = logs_.Reopen();
    if (logs_.AllOpen())
        AppendStatus("logs reopened: " + logs_.Stem());
    else if (!reopened.empty()) {
        std::string names;
        for (const std::string& name : reopened)
            names += (names.empty() ? "" : " ") + name;
        AppendStatus("logs reopened: " + names);
    }
}

QString Station::SaveWatchList(const std::string& text)
{
    const std::string path = QDir(env_.programDir).filePath(QString::fromLatin1(kWatchFileName)).toStdString();
    if (const std::string refusal = WriteSmallFile(path, text); !refusal.empty())
        return QString::fromStdString(refusal);
    watchList_ = WatchList(text);
    return {};
}

void Station::NoteWatched(FrameReport& report)
{
    const std::optional<std::string_view> call = WatchedSource(watchList_, report);
    if (!call)
        return;
    MarkWatched(report);
    if (const std::optional<WatchNotice> notice = watchNotices_.Heard(*call, report.time)) {
        AppendStatus(WatchNoticeLine(*notice));
        Tell(&StationView::ShowWatchNotice, *notice, report);
    }
}

void Station::RunInitScript() { RunScript(kTncInitScript); }

void Station::RunExitScript() { RunScript(kTncExitScript); }

void Station::RunScript(std::string_view fileName)
{
    // A KISS server would take the command text for a broken frame, or
    // worse; the status box tells why nothing went, once a run.
    if (settings_.kissTcp) {
        if (std::find(scriptsNotSent_.begin(), scriptsNotSent_.end(), fileName) == scriptsNotSent_.end()) {
            scriptsNotSent_.emplace_back(fileName);
            AppendStatus(ScriptNotSentLine(fileName));
        }
        return;
    }
    const SmallFile script = ReadSmallFile(env_.programDir.toStdString(), std::string(fileName));
    RunTncScript(
        fileName, script.text, script.refusal, [this] { return input_->IsOpen(); },
        [this](std::string_view bytes) { return input_->Write(bytes); },
        [this](std::string_view line) { AppendStatus(line); });
}

// Standard error: every status line when asked to echo them, and the logs'
// failures always.
void Station::AppendStatus(std::string_view line, Severity severity)
{
    Tell(&StationView::ShowStatus, line, severity);
    if (env_.echoStatus)
        SayOnStandardError(line, severity);
}

}  // namespace quillon
