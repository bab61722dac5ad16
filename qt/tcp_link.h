// A KISS server on the network as a link (a soundcard modem such as Dire
// Wolf, which offers KISS on a TCP port), on QTcpSocket inside the Qt event
// loop: the input link when quillon.ini names one with KISS_TCP.
//
// Open starts connecting and returns at once; the host name is looked up
// without holding up the event loop. The link is open while it is
// connected. A refused, failed or lost connection (closed by the server in
// order or reset, or found dead by TCP keepalive) is reported lost once,
// with the system's reason, and while reopening is on the link connects
// again every two seconds, quietly, until it is back; this also holds for a
// server that is not up yet when the link is opened. Back comes with every
// connection, the first one too. A quiet channel is no dead link: nothing
// times out while connected.
#pragma once

#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <string>
#include <string_view>

#include "app/configuration.h"
#include "link.h"

namespace quillon {

class TcpLink final : public Link {
    Q_OBJECT
public:
    explicit TcpLink(TcpAddress server, QObject* parent = nullptr);
    ~TcpLink() override;

    bool Open() override;
    void Close(const std::function<bool()>& giveUp = {}) override;
    bool Write(std::string_view bytes) override;
    State GetState() const override { return state_; }
    void SetReopening(bool on) override;
    void EndOfRun() override;
    // "LOCALHOST:8001", "[::1]:8001".
    std::string Name() const override { return FormatTcpAddress(server_); }
    // "LOCALHOST:8001 connected".
    std::string BackLine() const override { return LinkConnectedLine(Name()); }

    static constexpr std::chrono::milliseconds kRetryInterval{2000};
    // TCP keepalive on a connection that has been silent for a minute: a
    // probe every 10 s, and after 6 without an answer the peer is dead, two
    // minutes after the last sign of it.
    static constexpr int kKeepAliveIdleSeconds = 60;
    static constexpr int kKeepAliveIntervalSeconds = 10;
    static constexpr int kKeepAliveProbes = 6;

private:
    void Connect();
    void OnConnected();
    void OnReadyRead();
    void OnGone();
    void SetKeepAlive();

    TcpAddress server_;
    QTcpSocket socket_;
    QTimer retryTimer_;
    State state_ = State::Closed;
    bool attempt_ = false;   // a connection under way or made, its end not yet handled
    bool lossSaid_ = false;  // the server's absence has been reported since it was last there
    bool reopening_ = false;
    bool endOfRun_ = false;
};

}  // namespace quillon
