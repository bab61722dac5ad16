// The running station: everything a run of the program does, apart from any
// window. It reads quillon.ini, opens the input link (the TNC: a serial port,
// or with KISS_TCP a KISS server on the network) and the mirror link, feeds
// every block from the TNC through the receive pipeline into the logs,
// mirrors its whole frames, sends the TNC scripts, asks the time server,
// ticks once a second, and ends the run in order. A front end (the main
// window, a headless run, a test) shows what the station tells its views and
// passes the user's commands on as calls.
//
// Start-up, in this order, every step attempted once and a failing one
// skipped: configuration; both links made with their settings; the input
// link opened (a KISS server is connected to in the background, a TNC that
// is not there is tried again until it is); the KISS server and the igate
// started when their keys are set; frame assembly reset; mirroring
// on or off from MIRROR (on opens the mirror link); the time-server query;
// the mirror link opened if it is not yet; the last-frame time set to now;
// logs opened; with MQTT the broker connected to in the background; the
// init script sent. The end: no more events; logs closed and the empty ones
// deleted; the exit script sent; the broker told "offline"; input link
// closed; mirror link closed.
//
// The whole frames the mirror gets also go, whatever the decode switch, to
// the clients of the KISS server (KISS_SERVER) and through the igate to
// APRS-IS (IGATE_CALL, IGATE_SERVER); neither changes what is logged, shown
// or sent to the TNC.
//
// A KISS server takes KISS frames only, never command text: with KISS_TCP
// the scripts are not sent, and the status box says so once a run for each.
// A KISS_TCP that names no server opens no input at all: the serial port in
// its place would be some other device.
//
// Every status line has its level (text/severity.h): information unless the
// call says otherwise; lost links, ports that cannot be opened, failing
// logs, silence and settings not understood are warnings.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "app/configuration.h"
#include "app/lamps.h"
#include "app/receiver.h"
#include "app/status_file.h"
#include "app/watch_list.h"
#include "aprs/location.h"
#include "kiss/kiss.h"
#include "log_set.h"
#include "text/severity.h"
#include "timesvc/clock.h"
#include "timesvc/status_timer.h"
#include "timesvc/timesvc.h"

namespace quillon {

class IgateLink;
class KissServer;
class Link;
class MqttPublisher;
class SystemClockSetter;
class TimeServerQuery;

class Station;

// What the station tells its front ends, each a view that it has added. Each
// call carries what to show; every one does nothing unless overridden. A
// view that goes is taken off its station's list by itself.
class StationView {
public:
    StationView() = default;
    StationView(const StationView&) = delete;
    StationView& operator=(const StationView&) = delete;
    virtual ~StationView();
    // One frame's report: its console runs and the frame box's caption.
    virtual void ShowReport(const FrameReport& /*report*/) {}
    // A status line (without its CR LF), and the emptying of the status box
    // that every block from the TNC brings.
    virtual void ShowStatusLine(std::string_view /*line*/) {}
    // The same line with its level, for a view that tells levels apart (the
    // journal); by default ShowStatusLine.
    virtual void ShowStatus(std::string_view line, Severity /*severity*/) { ShowStatusLine(line); }
    virtual void ClearStatus() {}
    // After a block in which frames ended.
    virtual void ShowReceiveCounts(const Counters& /*counts*/) {}
    // After a block was mirrored.
    virtual void ShowBytesSent(std::int32_t /*bytes*/) {}
    // The lamps of both links: at every tick, when a link is lost or back,
    // at the end of start-up and when mirroring is switched.
    virtual void ShowLamps(PortLamps /*lamps*/) {}
    // The UTC clock, "hh:mm:ss", at every tick.
    virtual void ShowClock(std::string_view /*clock*/) {}
    // The logs that cannot be written, "NAME: REASON" each; none when every
    // log writes again.
    virtual void ShowLogFailures(const std::vector<std::string>& /*lines*/) {}
    // Mirroring switched on or off (at start-up too).
    virtual void ShowMirroring(bool /*on*/) {}
    // The two links as configured, once during start-up: "IN (COM 1,
    // 9600,N,8,1,NO)" or "IN (TCP LOCALHOST:8001)", "OUT (COM 2,
    // 9600,N,8,1,NO)" and the mirror port in effect, "COM 2, 9600,N,8,1
    // initialized ".
    virtual void ShowLinks(std::string_view /*input*/, std::string_view /*mirror*/, std::string_view /*mirrorInEffect*/)
    {
    }
    // The user's own station's place (MY_LOCATION), once during start-up;
    // nothing when the key is empty or names no place.
    virtual void ShowOwnLocation(std::optional<GeoPoint> /*place*/) {}
    // A watched station is due a notice (the status line has said so): the
    // report that brought it, its address line marked.
    virtual void ShowWatchNotice(const WatchNotice& /*notice*/, const FrameReport& /*report*/) {}

private:
    friend class Station;
    Station* station_ = nullptr;  // the one that tells this view
};

// What the station needs from its surroundings; tests substitute the clocks
// and the clock setter, and choose the program folder and time-server port.
struct StationEnvironment {
    QString programDir;
    const Clock* clock = &RealClock();
    // The clock that names the logs; nullptr: `clock`.
    const Clock* logClock = nullptr;
    SystemClockSetter* clockSetter = nullptr;  // nullptr: the system clock
    quint16 timeServerPort = 37;
    // Also write every status line to standard error, for a run without a
    // screen (a service, a test of the real program).
    bool echoStatus = false;
    // The once-a-second timer runs by itself; off, the caller calls Tick.
    bool ownTicks = true;
    // The idle line "N sec since last packet [M]" at every tick.
    bool idleLines = true;
    // A mirror port that cannot be opened is said, not only shown by its lamp.
    bool sayPortsNotOpened = false;
};

class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(StationEnvironment environment, QObject* parent = nullptr);
    ~Station() override;

    // The view is told from then on, until it or the station goes or it is
    // taken away; any number of views, told in the order they were added.
    // A view is told by one station at a time.
    void AddView(StationView& view);
    void RemoveView(StationView& view);

    // quillon.ini read into Config(); Start does it when it has not been
    // done, so that a front end may look at the settings first.
    void ReadConfiguration();
    // Once, before the event loop runs.
    void Start();
    // Once, however the run ends; later calls do nothing. `giveUp` cuts the
    // wait for the last output short (a second request to end the program).
    void Stop(const std::function<bool()>& giveUp = {});
    bool Stopped() const { return stopped_; }

    // The user's commands.
    void SetMirroring(bool on);
    void SetDecoding(bool on);
    void RunInitScript();
    void RunExitScript();
    // Bytes received, frames, bytes sent and mirror bytes dropped back to 0.
    void ClearCounters();
    // The once-a-second work: lamps, clock, the idle line.
    void Tick();
    // The logs closed and opened again by the same names: a log that was
    // renamed away (rotated) is created anew and written on. One that cannot
    // be opened is tried again every second and at its next record.
    void ReopenLogs();

    // The watch list, read from watch.txt at start-up; saving a new one
    // writes the file and watches from the next frame on. The reason when it
    // could not be written, and the list stays as it was.
    const WatchList& Watching() const { return watchList_; }
    QString SaveWatchList(const std::string& text);

    const Settings& Config() const { return settings_; }
    std::optional<GeoPoint> OwnLocation() const { return ownLocation_; }
    const Counters& Counts() const { return receiver_.Counts(); }
    std::int32_t BytesSent() const { return bytesSent_; }
    // Bytes of whole frames that the open mirror link refused (its queue
    // full); they are not in BytesSent.
    std::uint64_t MirrorBytesDropped() const { return mirrorBytesDropped_; }
    bool Mirroring() const { return mirroring_; }
    // With KISS_SERVER, the server for other programs; with IGATE_CALL and
    // IGATE_SERVER, the igate (its gated and not-gated counts); else none.
    KissServer* Sharing() { return kissServer_.get(); }
    IgateLink* Igate() { return igate_.get(); }
    // The statistics window's lines of the sharers that are on: "12 Frames
    // gated to APRS-IS", "3 Frames not gated", "2 KISS clients", "0 Frames
    // dropped for slow KISS clients", "1 Frames from KISS clients, not sent".
    std::vector<std::string> SharingCounts() const;
    // With MQTT: frames handed to the broker's connection, and frames
    // dropped unsent (its queue full, or left in it at the end); 0 without.
    std::uint64_t MqttPublished() const;
    std::uint64_t MqttDropped() const;
    bool MqttConnected() const;
    PortLamps Lamps() const;
    // From Start on.
    Link& Input() { return *input_; }
    Link& Mirror() { return *mirror_; }
    const LogSet& Logs() const { return logs_; }
    const StationEnvironment& Environment() const { return env_; }
    // The figures of the status file, from Start on.
    StationFigures Figures() const;

private:
    class LogSink;

    void MakeLinks();
    std::unique_ptr<Link> MakeSerialLink(std::int16_t port, const SerialLinkSettings& settings);
    void ConnectLinkEvents(Link& link);
    void MakeSharers();
    // The whole frames of a block to the mirror, the KISS server and the igate.
    void ShareWholeFrames(std::string_view block);
    void OpenLogs();
    void DeleteOldLogs(DateTime now);
    void StartMqtt();
    // With LOG_ROTATE=DAILY, a new set once `now` is on a new UTC day.
    void RollLogsAtMidnight(std::chrono::system_clock::time_point now);
    void OnInputBytes(const QByteArray& bytes);
    void OnLineEvent(int code);
    void OnLost(Link& link, const QString& reason);
    void OnBack(Link& link);
    void OnLogFailure(const std::string& name, int failure);
    void OnSecondTimer();
    // Marks a watched station's report, and says when it is due a notice.
    void NoteWatched(FrameReport& report);
    void RunScript(std::string_view fileName);
    // Every view, in turn: Tell(&StationView::ShowClock, clock).
    template <typename... Params, typename... Args>
    void Tell(void (StationView::*show)(Params...), const Args&... args)
    {
        for (std::size_t i = 0; i < views_.size(); ++i)
            (views_[i]->*show)(args...);
    }
    // A status line to every view; a warning or an error says so at the call:
    // AppendStatus(line, Warning).
    void AppendStatus(std::string_view line, Severity severity = Severity::Info);

    StationEnvironment env_;
    std::vector<StationView*> views_;
    std::unique_ptr<SystemClockSetter> ownClockSetter_;
    Settings settings_;
    bool configurationRead_ = false;
    std::optional<GeoPoint> ownLocation_;  // from MY_LOCATION
    WatchList watchList_;
    WatchNotices watchNotices_;
    Receiver receiver_;
    StatusTimerState statusTimer_;
    SilenceWatch silence_;
    LogSet logs_;
    std::unique_ptr<LogSink> sink_;  // the block's records and reports, until written and shown
    // The logs said on standard error to fail, and why.
    std::vector<std::pair<std::string, int>> logsSaidFailing_;
    std::chrono::sys_days logDay_{};  // the UTC day the logs were opened or rolled on
    std::chrono::system_clock::time_point start_{}, lastFrame_{};
    // Made by Start, from the settings.
    std::unique_ptr<Link> input_;
    std::unique_ptr<Link> mirror_;
    ReceiveState wholeFrame_;  // the frame the mirror and the sharers get once it is whole
    std::unique_ptr<KissServer> kissServer_;
    std::unique_ptr<IgateLink> igate_;
    std::string sharedFrames_;  // a block's whole frames, for the KISS server
    std::vector<std::uint32_t> sharedSizes_;
    std::vector<std::string> scriptsNotSent_;  // said so already this run
    std::unique_ptr<TimeServerQuery> timeServer_;
#if QUILLON_MQTT
    std::unique_ptr<MqttPublisher> mqtt_;  // with MQTT, from Start on
#endif
    QTimer secondTimer_;  // single shot, at .900 of each UTC second
    std::int32_t bytesSent_ = 0;
    std::uint64_t mirrorBytesDropped_ = 0;
    bool mirroring_ = false;
    bool stopped_ = false;
};

}  // namespace quillon
