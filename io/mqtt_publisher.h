// The station's feed into an MQTT broker (MQTT=host[:port]): every frame's
// JSON line, as the JSON log writes it, on TOPIC/frames (QoS 0), and the
// station's state on TOPIC/status, "online" once connected and "offline" at
// a clean end of the run, both retained; "offline" is also the will that the
// broker publishes when the connection dies without a goodbye (the station
// killed, the machine gone).
//
// The client is libmosquitto, Debian's package of the reference broker's own
// client library: its non-blocking calls (connect_async, loop_read,
// loop_write, loop_misc) let the Qt event loop drive it through socket
// notifiers and a timer, with no thread of its own (Paho's C client runs its
// own threads for the asynchronous API and would need a second loop). The host
// name is looked up by Qt, so libmosquitto only ever connects to an address.
//
// Publishing never holds the receive path: a line is queued and handed to
// the library on the next turn of the event loop, and only while the
// library has nothing left unwritten, so what waits for the broker is this
// queue alone. It holds at most kQueueLimit bytes; when a slow or absent
// broker lets it fill, the oldest lines go first (counted as dropped), so
// that a broker that comes back gets the latest frames. A lost or refused
// connection is said on the status line once (the same reason is not said
// again until a connection was made), and tried again after 2, 4, 8 ... up
// to 60 seconds.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "app/configuration.h"
#include "text/severity.h"

struct mosquitto;
class QHostInfo;

namespace quillon {

class MqttPublisher final : public QObject {
public:
    struct Options {
        TcpAddress broker;
        std::string topic;           // TOPIC/frames and TOPIC/status below it
        std::string user, password;  // no user: none sent
    };
    using Say = std::function<void(std::string_view line, Severity severity)>;

    // The lines waiting for the broker, in bytes (some two thousand frames).
    static constexpr std::size_t kQueueLimit = 1 << 20;
    static constexpr int kKeepAliveSeconds = 30;

    // The topic when MQTT_TOPIC is empty: "quillon/<host name>".
    static std::string DefaultTopic();
    // "MQTT=FIELD not understood (HOST or HOST:PORT, port 1 to 65535)".
    static std::string RefusedLine(std::string_view field);

    MqttPublisher(Options options, Say say, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Looks the broker up and connects, in the background.
    void Start();
    // One JSON line (its "\n" is not sent); returns at once.
    void Publish(std::string_view line);
    // "offline" published and the connection closed in order, waiting at
    // most kStopLimit (or until `giveUp` says so) for it to go out; nothing
    // is tried again afterwards. The counts are said: "MQTT HOST:PORT: 12
    // frames published, 0 dropped".
    static constexpr std::chrono::milliseconds kStopLimit{2000};
    void Stop(const std::function<bool()>& giveUp = {});

    bool Connected() const { return state_ == State::Connected; }
    // "MQTT LOCALHOST:1883".
    std::string Name() const;
    // Frames handed to the broker's connection, and frames dropped unsent
    // (the queue full, or left in it at the end of the run).
    std::uint64_t Published() const { return published_; }
    std::uint64_t Dropped() const { return dropped_; }

private:
    enum class State { Idle, LookingUp, Connecting, Connected, Waiting, Stopped };

    void LookUp();
    void OnLookedUp(const QHostInfo& info);
    void Watch();
    void Unwatch();
    // After every call into the library: a connection that ended is said and
    // tried again later; else the queue is passed on and the write notifier
    // set from what the library still has to write.
    void AfterLoop();
    void Fail(const std::string& line);
    void Drain();
    void PostDrain();
    void Tell(const std::string& line, Severity severity = Severity::Info);
    static void OnConnect(mosquitto* client, void* self, int code);
    static void OnDisconnect(mosquitto* client, void* self, int code);

    Options options_;
    std::function<void(std::string_view, Severity)> say_;
    std::string framesTopic_, statusTopic_;
    mosquitto* client_ = nullptr;
    State state_ = State::Idle;
    int lookupId_ = -1;
    int failures_ = 0;                     // attempts failed in a row
    std::string reason_;                   // why the connection ended, from the library's callbacks
    bool refused_ = false;                 // by the broker's answer
    std::string lastSaid_;                 // not said twice in a row
    QSocketNotifier* readable_ = nullptr;  // children, while there is a socket
    QSocketNotifier* writable_ = nullptr;
    QTimer misc_;   // keepalive and the library's timeouts, while there is a socket
    QTimer retry_;  // single shot: the next attempt
    std::deque<std::string> queue_;
    std::size_t queuedBytes_ = 0;
    bool drainPosted_ = false;
    std::uint64_t published_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace quillon
