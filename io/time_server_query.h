// The time-server query of start-up: asks the configured RFC 868 server for
// the time over TCP, writes every step of the connection to the status box,
// and sets the system clock from the reply once the server has closed the
// connection. It runs once per program run; nothing repeats it.
//
// A server that sends more than a reply can be (more than kReplyLimit
// bytes) is not waited for: the query closes the connection itself and ends
// as with an invalid reply. No more than kReplyLimit + 1 bytes are kept or
// dumped in the data lines, however much arrives.
#pragma once

#include <QObject>
#include <chrono>
#include <cstddef>
#include <string>

#include "tcp_client.h"
#include "text/console.h"
#include "timesvc/clock_setter.h"

namespace quillon {

class TimeServerQuery : public QObject {
    Q_OBJECT
public:
    TimeServerQuery(AppendStatusLine appendStatus, SystemClockSetter& setter, QObject* parent = nullptr);

    // The Time Protocol's port.
    static constexpr quint16 kTimePort = 37;

    // Connects to the server (host name or address, as configured: in
    // capitals) on `port`. An empty name asks nothing and writes nothing.
    // Returns at once; the outcome arrives through the handlers below, each
    // writing its steps to the status box.
    void Start(const std::string& timeserver, quint16 port = kTimePort);

    void SetConnectTimeoutForTesting(std::chrono::milliseconds timeout);

    static constexpr std::size_t kReplyLimit = 1024;

    // The bytes received from the server, in order of arrival (the first
    // kReplyLimit + 1 at most).
    const std::string& TimeServerReply() const { return reply_; }
    TcpClient::State ConnectionState() const { return connection_.CurrentState(); }

private:
    // The handlers of the connection's events.
    void OnConnected();
    void OnDataArrival(qint64 bytesTotal);
    void OnClosed();
    void OnError(int number, const std::string& description);

    TcpClient connection_;
    AppendStatusLine appendStatus_;
    SystemClockSetter& setter_;
    std::string timeserver_;
    std::string reply_;
};

}  // namespace quillon
