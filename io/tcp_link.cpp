#include "tcp_link.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <QMetaObject>
#include <utility>

namespace quillon {

TcpLink::TcpLink(TcpAddress server, QObject* parent) : Link(parent), server_(std::move(server)), socket_(this)
{
    // A server that refuses, or accepts and drops at once, is asked less and less often.
    SetBackOff(BackOff{});
    connect(&socket_, &QTcpSocket::connected, this, &TcpLink::OnConnected);
    // An error (a refusal, a host not found, a reset) or the server's orderly
    // close: both the error and the disconnection that follows it come, and
    // the first one counts.
    const auto gone = [this] {
        if (std::exchange(attempt_, false))
            DeviceGone(socket_.errorString());
    };
    connect(&socket_, &QTcpSocket::errorOccurred, this, gone);
    connect(&socket_, &QTcpSocket::disconnected, this, gone);
}

TcpLink::~TcpLink()
{
    EndOfRun();
    Close();
}

void TcpLink::OpenDevice(bool again)
{
    const auto start = [this] {
        if (GetState() != State::Lost || Ended())  // closed meanwhile
            return;
        socket_.abort();  // what is left of the last connection
        attempt_ = true;
        socket_.connectToHost(QString::fromStdString(server_.host), server_.port);
    };
    if (again)
        start();
    else
        QMetaObject::invokeMethod(this, start, Qt::QueuedConnection);
}

void TcpLink::OnConnected()
{
    if (!attempt_)
        return;
    SetKeepAlive();
    DeviceOpened();
}

// Keepalive finds a peer that is gone without a word (a modem's computer
// switched off, a cable pulled) in minutes instead of the system's default
// of over two hours. Without these options the link still works, it only
// learns of such a loss later.
void TcpLink::SetKeepAlive()
{
    socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const int fd = int(socket_.socketDescriptor());
    for (const auto& [option, value] : {std::pair{TCP_KEEPIDLE, kKeepAliveIdleSeconds},
                                        {TCP_KEEPINTVL, kKeepAliveIntervalSeconds},
                                        {TCP_KEEPCNT, kKeepAliveProbes}})
        ::setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value);
}

void TcpLink::CloseDevice()
{
    attempt_ = false;
    socket_.abort();
}

// What is left of the socket goes once Qt's own handling of the end is
// done, so that nothing of it can keep the event loop busy meanwhile.
void TcpLink::DropDevice()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!attempt_)
                socket_.abort();
        },
        Qt::QueuedConnection);
}

bool TcpLink::WaitForWritten(int ms)
{
    return socket_.state() == QAbstractSocket::ConnectedState &&
           (socket_.waitForBytesWritten(ms) || socket_.error() == QAbstractSocket::SocketTimeoutError);
}

}  // namespace quillon
