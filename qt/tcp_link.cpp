#include "tcp_link.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <utility>

namespace quillon {

TcpLink::TcpLink(TcpAddress server, QObject* parent) : Link(parent), server_(std::move(server)), socket_(this)
{
    connect(&socket_, &QTcpSocket::connected, this, &TcpLink::OnConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &TcpLink::OnReadyRead);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TcpLink::OnGone);
    connect(&socket_, &QTcpSocket::disconnected, this, &TcpLink::OnGone);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &TcpLink::Connect);
}

TcpLink::~TcpLink()
{
    EndOfRun();
    Close();
}

bool TcpLink::Open()
{
    if (state_ != State::Closed || endOfRun_)
        return true;
    // Not there until connected. The first attempt starts from the event
    // loop, so that its outcome, even one known at once, comes after Open
    // has returned.
    state_ = State::Lost;
    lossSaid_ = false;
    retryTimer_.start(0);
    return true;
}

void TcpLink::Connect()
{
    if (state_ != State::Lost || endOfRun_ || attempt_)
        return;
    socket_.abort();  // what is left of the last connection
    attempt_ = true;
    socket_.connectToHost(QString::fromStdString(server_.host), server_.port);
}

void TcpLink::OnConnected()
{
    if (!attempt_ || state_ != State::Lost)
        return;
    SetKeepAlive();
    state_ = State::Open;
    lossSaid_ = false;
    emit Back();
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
                                        {TCP_KEEPINTVL, kKeepAliveIntervalSeconds}, {TCP_KEEPCNT, kKeepAliveProbes}})
        ::setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value);
}

void TcpLink::OnReadyRead()
{
    // At the end of the run, or after the loss, what still arrives is dropped.
    if (endOfRun_ || state_ != State::Open) {
        socket_.skip(socket_.bytesAvailable());
        return;
    }
    const QByteArray bytes = socket_.readAll();
    if (!bytes.isEmpty())
        emit Received(bytes);
}

// The end of an attempt or of a connection: an error (a refusal, a host not
// found, a reset) or the server's orderly close, each a loss. Both the error
// and the disconnection that follows it come here; the first one counts.
void TcpLink::OnGone()
{
    if (!attempt_)
        return;
    attempt_ = false;
    // What came before the end is delivered first.
    if (state_ == State::Open && !endOfRun_ && socket_.bytesAvailable() > 0)
        emit Received(socket_.readAll());
    // What is left of the socket goes once Qt's own handling of the end is
    // done, so that nothing of it can keep the event loop busy meanwhile.
    QMetaObject::invokeMethod(
        this, [this] { if (!attempt_) socket_.abort(); }, Qt::QueuedConnection);
    if (state_ == State::Closed || endOfRun_) {
        state_ = State::Closed;
        return;
    }
    state_ = State::Lost;
    if (reopening_)
        retryTimer_.start(kRetryInterval);
    if (!std::exchange(lossSaid_, true))
        emit Lost(socket_.errorString());
}

void TcpLink::Close(const std::function<bool()>& giveUp)
{
    // Closed on purpose: whatever the socket says from here on is no loss.
    const bool connected = state_ == State::Open;
    state_ = State::Closed;
    attempt_ = false;
    retryTimer_.stop();
    // What was written last still goes out, as on a serial link: two seconds
    // at most, less when the caller gives up.
    QDeadlineTimer deadline(2000);
    while (connected && socket_.state() == QAbstractSocket::ConnectedState && socket_.bytesToWrite() > 0 &&
           !deadline.hasExpired() && !(giveUp && giveUp())) {
        if (!socket_.waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 50))) &&
            socket_.error() != QAbstractSocket::SocketTimeoutError)
            break;
    }
    socket_.abort();
}

bool TcpLink::Write(std::string_view bytes)
{
    if (state_ != State::Open)
        return false;
    return socket_.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

void TcpLink::SetReopening(bool on)
{
    reopening_ = on && !endOfRun_;
    if (!reopening_)
        retryTimer_.stop();
    else if (state_ == State::Lost && !attempt_ && !retryTimer_.isActive())
        retryTimer_.start(kRetryInterval);
}

void TcpLink::EndOfRun()
{
    endOfRun_ = true;
    SetReopening(false);
    // An attempt under way is given up; a connection stays for what is
    // still written, and Close ends it.
    if (state_ != State::Open) {
        attempt_ = false;
        state_ = State::Closed;
        socket_.abort();
    }
}

}  // namespace quillon
