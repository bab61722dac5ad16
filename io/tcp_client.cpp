#include "tcp_client.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QHostInfo>
#include <QMetaObject>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

namespace quillon {

namespace {

struct WinsockError {
    int number;
    const char* description;
};

WinsockError ToWinsockError(int error)
{
    switch (error) {
    case ECONNREFUSED: return {10061, "Connection refused"};
    case ECONNRESET: return {10054, "Connection reset by peer"};
    case ETIMEDOUT: return {10060, "Connection timed out"};
    case EHOSTUNREACH: return {10065, "Host unreachable"};
    case ENETUNREACH: return {10051, "Network unreachable"};
    case ENETDOWN: return {10050, "Network down"};
    case EACCES:
    case EPERM: return {10013, "Permission denied"};
    case ENOBUFS:
    case ENOMEM:
    case EMFILE:
    case ENFILE: return {10055, "No buffer space available"};
    case EADDRINUSE: return {10048, "Address already in use"};
    case EADDRNOTAVAIL: return {10049, "Address not available"};
    case EAFNOSUPPORT: return {10047, "Address family not supported"};
    default: return {10053, "Connection aborted"};
    }
}

// Names under the top-level domain "invalid" never resolve (RFC 6761), so
// they are answered here without asking any name server.
bool IsUnderInvalid(std::string host)
{
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    const std::string tld = "invalid";
    if (host == tld)
        return true;
    return host.size() > tld.size() && host.ends_with("." + tld);
}

constexpr std::chrono::milliseconds kConnectTimeout{30'000};

}  // namespace

TcpClient::TcpClient(QObject* parent) : QObject(parent)
{
    connectTimer_.setSingleShot(true);
    connectTimer_.setInterval(kConnectTimeout);
    connect(&connectTimer_, &QTimer::timeout, this, &TcpClient::HandleConnectTimeout);
    connect(&writable_, &QSocketNotifier::activated, this, &TcpClient::HandleWritable);
    connect(&readable_, &QSocketNotifier::activated, this, &TcpClient::HandleReadable);
}

TcpClient::~TcpClient() { Close(); }

void TcpClient::SetConnectTimeout(std::chrono::milliseconds timeout) { connectTimer_.setInterval(timeout); }

void TcpClient::Connect()
{
    Close();
    state_ = State::ResolvingHost;
    connectTimer_.start();
    // The attempt starts from the event loop, so that even an outcome known
    // at once (a refusal on this machine, a reserved name) arrives as an
    // event after Connect has returned.
    const std::uint64_t attempt = attempt_;
    QMetaObject::invokeMethod(
        this,
        [this, attempt] {
            if (attempt != attempt_)
                return;
            const QString host = QString::fromLatin1(remoteHost_);
            if (IsUnderInvalid(remoteHost_)) {
                Fail(11001, QStringLiteral("Host not found"));
            } else if (QHostAddress address; address.setAddress(host)) {
                ConnectTo({address});
            } else {
                lookupId_ = QHostInfo::lookupHost(host, this, [this, attempt](const QHostInfo& info) {
                    lookupId_ = -1;
                    if (attempt != attempt_)
                        return;
                    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
                        Fail(11001, QStringLiteral("Host not found"));
                    else
                        ConnectTo(info.addresses());
                });
            }
        },
        Qt::QueuedConnection);
}

std::string TcpClient::GetData() { return std::exchange(received_, std::string()); }

void TcpClient::Close()
{
    ++attempt_;
    connectTimer_.stop();
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    DropSocket();
    addresses_.clear();
    received_.clear();
    state_ = State::Closed;
}

void TcpClient::ConnectTo(const QList<QHostAddress>& addresses)
{
    state_ = State::Connecting;
    addresses_ = addresses;
    lastError_ = ECONNREFUSED;
    TryNextAddress();
}

void TcpClient::TryNextAddress()
{
    DropSocket();
    while (!addresses_.isEmpty()) {
        const QHostAddress address = addresses_.takeFirst();
        sockaddr_storage remote{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            auto& in = reinterpret_cast<sockaddr_in&>(remote);
            in.sin_family = AF_INET;
            in.sin_port = htons(static_cast<std::uint16_t>(remotePort_));
            in.sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof in;
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(remote);
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(static_cast<std::uint16_t>(remotePort_));
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&in6.sin6_addr, bytes.c, sizeof bytes.c);
            length = sizeof in6;
        } else {
            continue;
        }
        fd_ = ::socket(remote.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            lastError_ = errno;
            continue;
        }
        // The outcome comes when the socket becomes writable, even when the
        // connection is made at once.
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), length) == 0 || errno == EINPROGRESS) {
            writable_.setSocket(fd_);
            writable_.setEnabled(true);
            return;
        }
        lastError_ = errno;
        DropSocket();
    }
    FailWithErrno(lastError_);
}

void TcpClient::HandleWritable()
{
    if (state_ != State::Connecting)
        return;
    writable_.setEnabled(false);
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        lastError_ = error;
        TryNextAddress();
        return;
    }
    connectTimer_.stop();
    state_ = State::Connected;
    readable_.setSocket(fd_);
    readable_.setEnabled(true);
    emit Connected();
}

// One read a turn of the event loop, so that a server that never stops
// sending cannot hold the program in here.
void TcpClient::HandleReadable()
{
    if (state_ != State::Connected)
        return;
    char buffer[65536];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
        received_.append(buffer, std::size_t(n));
        emit DataArrival(qint64(received_.size()));
        return;
    }
    const int error = n < 0 ? errno : 0;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
        return;
    // The end: in order (the peer's FIN), or not (its RST: ECONNRESET).
    readable_.setEnabled(false);
    if (error == 0) {
        state_ = State::PeerClosing;
        emit Closed();
    } else {
        FailWithErrno(error);
    }
}

void TcpClient::HandleConnectTimeout()
{
    if (state_ != State::ResolvingHost && state_ != State::Connecting)
        return;
    ++attempt_;
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    addresses_.clear();
    Fail(10060, QStringLiteral("Connection timed out"));
}

void TcpClient::FailWithErrno(int error)
{
    const WinsockError e = ToWinsockError(error);
    Fail(e.number, QString::fromLatin1(e.description));
}

void TcpClient::Fail(int number, const QString& description)
{
    connectTimer_.stop();
    DropSocket();
    state_ = State::Error;
    emit Error(number, description);
}

void TcpClient::DropSocket()
{
    writable_.setEnabled(false);
    readable_.setEnabled(false);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace quillon
