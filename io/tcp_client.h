// A TCP client with the operations and the four events of the time-server
// connection, on a non-blocking POSIX socket watched by socket notifiers
// inside the Qt event loop. Everything it does returns at once; outcomes
// arrive as signals, in this order: Connected, then any number of
// DataArrival, then Closed when the peer ends the connection in order; or
// Error at any point, after which nothing more arrives.
//
// The socket is its own rather than a QTcpSocket's because a connection the
// peer resets is an error, not a close, and QTcpSocket reports the two alike.
//
// Errors carry Windows Sockets numbers, which users know from other tools,
// with a short English text (10061 "Connection refused", 10054 "Connection
// reset by peer", 11001 "Host not found", ...).
#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <string>

namespace quillon {

class TcpClient : public QObject {
    Q_OBJECT
public:
    enum class State {
        Closed,
        ResolvingHost,
        Connecting,
        Connected,
        PeerClosing,  // the peer has closed; Close not yet called
        Error,        // an error was reported; Close not yet called
    };

    explicit TcpClient(QObject* parent = nullptr);
    // Drops an open connection without any event.
    ~TcpClient() override;

    void SetRemoteHost(std::string host) { remoteHost_ = std::move(host); }
    void SetRemotePort(int port) { remotePort_ = port; }

    // Starts a connection to RemoteHost:RemotePort, dropping any earlier
    // one. An attempt without an answer for the connect timeout (30 s) ends
    // in error 10060; once connected nothing times out.
    void Connect();
    State CurrentState() const { return state_; }
    // Every byte received and not yet taken, in order of arrival.
    std::string GetData();
    // Drops the connection at once; no event follows.
    void Close();

    void SetConnectTimeout(std::chrono::milliseconds timeout);

signals:
    void Connected();
    // bytesTotal: the bytes waiting to be taken with GetData.
    void DataArrival(qint64 bytesTotal);
    // The peer has closed the connection in order (a reset is error 10054).
    void Closed();
    void Error(int number, QString description);

private:
    void ConnectTo(const QList<QHostAddress>& addresses);
    // The next address, or the error of the last one when none is left.
    void TryNextAddress();
    void HandleWritable();
    void HandleReadable();
    void HandleConnectTimeout();
    void Fail(int number, const QString& description);
    void FailWithErrno(int error);
    void DropSocket();

    QTimer connectTimer_;
    QSocketNotifier writable_{QSocketNotifier::Write};  // while connecting
    QSocketNotifier readable_{QSocketNotifier::Read};   // while connected
    std::string remoteHost_;
    int remotePort_ = 0;
    State state_ = State::Closed;
    int fd_ = -1;
    QList<QHostAddress> addresses_;  // of the host, not yet tried
    int lastError_ = 0;              // errno of the last address tried
    int lookupId_ = -1;              // a host-name lookup under way
    std::string received_;           // not yet taken with GetData
    std::uint64_t attempt_ = 0;      // tells a stale queued step from the current one
};

}  // namespace quillon
