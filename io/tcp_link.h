// A KISS server on the network as a link (a soundcard modem such as Dire
// Wolf, which offers KISS on a TCP port), on QTcpSocket inside the Qt event
// loop: the input link when quillon.ini names one with KISS_TCP.
//
// Opening connects in the background; the host name is looked up without
// holding up the event loop, and the first attempt starts from the event
// loop, so that its outcome, even one known at once, comes after Open has
// returned: the first connection is a return (Back) like any other. A
// refused, failed or lost connection (closed by the server in order or
// reset, or found dead by TCP keepalive) is a loss, and the link backs off
// (link.h). A quiet channel is no dead link: nothing times out while
// connected.
#pragma once

#include <QString>
#include <QTcpSocket>
#include <string>

#include "app/configuration.h"
#include "link.h"

namespace quillon {

class TcpLink final : public Link {
    Q_OBJECT
public:
    explicit TcpLink(TcpAddress server, QObject* parent = nullptr);
    ~TcpLink() override;

    // "LOCALHOST:8001", "[::1]:8001".
    std::string Name() const override { return FormatTcpAddress(server_); }
    // "LOCALHOST:8001 connected".
    std::string BackLine() const override { return LinkConnectedLine(Name()); }

    // TCP keepalive on a connection that has been silent for a minute: a
    // probe every 10 s, and after 6 without an answer the peer is dead, two
    // minutes after the last sign of it.
    static constexpr int kKeepAliveIdleSeconds = 60;
    static constexpr int kKeepAliveIntervalSeconds = 10;
    static constexpr int kKeepAliveProbes = 6;

private:
    QIODevice& Device() override { return socket_; }
    void OpenDevice(bool again) override;
    void CloseDevice() override;
    void DropDevice() override;
    bool WaitForWritten(int ms) override;
    void OnConnected();
    void SetKeepAlive();

    TcpAddress server_;
    QTcpSocket socket_;
    bool attempt_ = false;  // a connection under way or made, its end not yet handled
};

}  // namespace quillon
