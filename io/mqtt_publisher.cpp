#include "mqtt_publisher.h"

#include "tnc/back_off.h"

#include <mosquitto.h>
#include <poll.h>

#include <QHostInfo>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillon {

namespace {

constexpr std::string_view kOnline = "online";
constexpr std::string_view kOffline = "offline";

void InitLibraryOnce()
{
    static const int done = mosquitto_lib_init();
    (void)done;
}

// The library's text for a result; for MOSQ_ERR_ERRNO the system's.
std::string ResultText(int code)
{
    if (code == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(code);
}

}  // namespace


std::string MqttPublisher::DefaultTopic() { return "quillon/" + QSysInfo::machineHostName().toStdString(); }

std::string MqttPublisher::RefusedLine(std::string_view field)
{
    return "MQTT=" + std::string(field) + " not understood (HOST or HOST:PORT, port 1 to 65535)";
}

MqttPublisher::MqttPublisher(Options options, std::function<void(std::string_view, Severity)> say, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      say_(std::move(say)),
      framesTopic_(options_.topic + "/frames"),
      statusTopic_(options_.topic + "/status"),
      misc_(this),
      retry_(this)
{
    InitLibraryOnce();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(client_, &MqttPublisher::OnConnect);
    mosquitto_disconnect_callback_set(client_, &MqttPublisher::OnDisconnect);
    if (!options_.user.empty())
        mosquitto_username_pw_set(client_, options_.user.c_str(),
                                  options_.password.empty() ? nullptr : options_.password.c_str());
    mosquitto_will_set(client_, statusTopic_.c_str(), int(kOffline.size()), kOffline.data(), 1, true);
    // The keepalive's ping is sent at the first look after 30 s of silence,
    // well before the broker gives up at 45 s.
    misc_.setInterval(std::chrono::seconds(5));
    connect(&misc_, &QTimer::timeout, this, [this] {
        mosquitto_loop_misc(client_);
        AfterLoop();
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttPublisher::LookUp);
}

MqttPublisher::~MqttPublisher()
{
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    Unwatch();
    mosquitto_destroy(client_);
}

std::string MqttPublisher::Name() const { return "MQTT " + FormatTcpAddress(options_.broker); }

void MqttPublisher::Start()
{
    if (mosquitto_pub_topic_check(framesTopic_.c_str()) != MOSQ_ERR_SUCCESS) {
        state_ = State::Stopped;
        Tell("MQTT_TOPIC=" + options_.topic + " cannot be published to (no + or #, at most 65535 bytes)",
             Severity::Warning);
        return;
    }
    LookUp();
}

// The name looked up again at every attempt: a broker may move.
void MqttPublisher::LookUp()
{
    state_ = State::LookingUp;
    lookupId_ = QHostInfo::lookupHost(QString::fromStdString(options_.broker.host), this,
                                      [this](const QHostInfo& info) { OnLookedUp(info); });
}

void MqttPublisher::OnLookedUp(const QHostInfo& info)
{
    lookupId_ = -1;
    if (state_ != State::LookingUp)
        return;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        Fail(Name() + " not found: " + info.errorString().toStdString());
        return;
    }
    reason_.clear();
    refused_ = false;
    const std::string address = info.addresses().first().toString().toStdString();
    const int code = mosquitto_connect_async(client_, address.c_str(), options_.broker.port, kKeepAliveSeconds);
    if (code != MOSQ_ERR_SUCCESS) {
        Fail(Name() + " not reached: " + ResultText(code));
        return;
    }
    state_ = State::Connecting;
    Watch();
    AfterLoop();
}

void MqttPublisher::Watch()
{
    const int fd = mosquitto_socket(client_);
    readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(readable_, &QSocketNotifier::activated, this, [this] {
        mosquitto_loop_read(client_, 1);
        AfterLoop();
    });
    connect(writable_, &QSocketNotifier::activated, this, [this] {
        mosquitto_loop_write(client_, 1);
        AfterLoop();
    });
    misc_.start();
}

// Called from the notifiers' own signals too: they go once these return.
void MqttPublisher::Unwatch()
{
    misc_.stop();
    for (QSocketNotifier* notifier : {readable_, writable_})
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    readable_ = writable_ = nullptr;
}

void MqttPublisher::AfterLoop()
{
    if (state_ == State::Stopped || !readable_)
        return;
    if (mosquitto_socket(client_) < 0) {
        const bool wasConnected = state_ == State::Connected;
        Unwatch();
        if (reason_.empty())
            reason_ = "closed";
        Fail(Name() + (refused_ ? " refused: " : wasConnected ? " lost: " : " not reached: ") + reason_);
        return;
    }
    if (state_ == State::Connected)
        Drain();
    writable_->setEnabled(mosquitto_want_write(client_));
}

void MqttPublisher::Fail(const std::string& line)
{
    state_ = State::Waiting;
    Tell(line, Severity::Warning);
    ++failures_;
    // The network links' schedule: 2, 4, 8 ... 60 s.
    retry_.start(BackOff{}.Delay(failures_ - 1));
}

void MqttPublisher::Tell(const std::string& line, Severity severity)
{
    if (line == lastSaid_)
        return;
    lastSaid_ = line;
    if (say_)
        say_(line, severity);
}

// Called by the library from inside loop_read: whatever is published here is
// only queued, and goes out from AfterLoop.
void MqttPublisher::OnConnect(mosquitto* client, void* self, int code)
{
    auto* p = static_cast<MqttPublisher*>(self);
    if (code != 0) {
        // "Connection Refused: not authorised."
        std::string_view why = mosquitto_connack_string(code);
        if (const auto colon = why.find(": "); colon != std::string_view::npos)
            why.remove_prefix(colon + 2);
        p->reason_ = why;
        p->refused_ = true;
        return;
    }
    p->state_ = State::Connected;
    p->failures_ = 0;
    p->lastSaid_.clear();
    p->Tell(p->Name() + " connected");
    mosquitto_publish(client, nullptr, p->statusTopic_.c_str(), int(kOnline.size()), kOnline.data(), 1, true);
}

void MqttPublisher::OnDisconnect(mosquitto* /*client*/, void* self, int code)
{
    auto* p = static_cast<MqttPublisher*>(self);
    if (p->reason_.empty())
        p->reason_ = ResultText(code);
}

void MqttPublisher::Publish(std::string_view line)
{
    if (state_ == State::Stopped)
        return;
    if (line.ends_with('\n'))
        line.remove_suffix(1);
    queue_.emplace_back(line);
    queuedBytes_ += line.size();
    while (queuedBytes_ > kQueueLimit) {
        queuedBytes_ -= queue_.front().size();
        queue_.pop_front();
        ++dropped_;
    }
    if (state_ == State::Connected)
        PostDrain();
}

// The lines of a whole block go out together, after the block is handled.
void MqttPublisher::PostDrain()
{
    if (drainPosted_)
        return;
    drainPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            drainPosted_ = false;
            AfterLoop();
        },
        Qt::QueuedConnection);
}

// Lines go to the library only while it has written all it had: its own
// queue, which has no bound, never holds more than the packet the socket
// could not take.
void MqttPublisher::Drain()
{
    while (!queue_.empty() && !mosquitto_want_write(client_)) {
        const std::string& line = queue_.front();
        const int code =
            mosquitto_publish(client_, nullptr, framesTopic_.c_str(), int(line.size()), line.data(), 0, false);
        if (code == MOSQ_ERR_NO_CONN || code == MOSQ_ERR_CONN_LOST || code == MOSQ_ERR_ERRNO)
            return;  // the connection's end is seen by the next read
        ++(code == MOSQ_ERR_SUCCESS ? published_ : dropped_);
        queuedBytes_ -= line.size();
        queue_.pop_front();
    }
}

void MqttPublisher::Stop(const std::function<bool()>& giveUp)
{
    if (state_ == State::Stopped)
        return;
    const bool connected = state_ == State::Connected;
    state_ = State::Stopped;
    retry_.stop();
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    if (connected) {
        Drain();
        mosquitto_publish(client_, nullptr, statusTopic_.c_str(), int(kOffline.size()), kOffline.data(), 1, true);
        mosquitto_disconnect(client_);
        const auto end = std::chrono::steady_clock::now() + kStopLimit;
        while (mosquitto_socket(client_) >= 0 && mosquitto_want_write(client_) && !(giveUp && giveUp())) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd fd{mosquitto_socket(client_), POLLOUT, 0};
            if (::poll(&fd, 1, int(std::min<long>(left.count(), 100))) > 0 &&
                mosquitto_loop_write(client_, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
    }
    Unwatch();
    dropped_ += queue_.size();
    queue_.clear();
    queuedBytes_ = 0;
    Tell(Name() + ": " + std::to_string(published_) + " frames published, " + std::to_string(dropped_) + " dropped");
}

}  // namespace quillon
