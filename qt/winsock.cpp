#include "winsock.h"

#include <QMetaObject>
#include <algorithm>
#include <cctype>

namespace quillon {

namespace {

struct WinsockError {
    int number;
    const char* description;
};

WinsockError ToWinsockError(QAbstractSocket::SocketError socketError)
{
    switch (socketError) {
    case QAbstractSocket::ConnectionRefusedError: return {10061, "Connection refused"};
    case QAbstractSocket::RemoteHostClosedError: return {10054, "Connection reset by peer"};
    case QAbstractSocket::HostNotFoundError: return {11001, "Host not found"};
    case QAbstractSocket::SocketAccessError: return {10013, "Permission denied"};
    case QAbstractSocket::SocketResourceError: return {10055, "No buffer space available"};
    case QAbstractSocket::SocketTimeoutError: return {10060, "Connection timed out"};
    case QAbstractSocket::NetworkError: return {10065, "Host unreachable"};
    case QAbstractSocket::AddressInUseError: return {10048, "Address already in use"};
    case QAbstractSocket::SocketAddressNotAvailableError: return {10049, "Address not available"};
    case QAbstractSocket::UnsupportedSocketOperationError: return {10045, "Operation not supported"};
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

Winsock::Winsock(QObject* parent) : QObject(parent)
{
    connectTimer_.setSingleShot(true);
    connectTimer_.setInterval(kConnectTimeout);
    connect(&connectTimer_, &QTimer::timeout, this, &Winsock::HandleConnectTimeout);
    connect(&socket_, &QAbstractSocket::stateChanged, this, &Winsock::HandleStateChanged);
    connect(&socket_, &QAbstractSocket::connected, this, &Winsock::HandleConnected);
    connect(&socket_, &QIODevice::readyRead, this, &Winsock::HandleReadyRead);
    connect(&socket_, &QAbstractSocket::disconnected, this, &Winsock::HandleDisconnected);
    connect(&socket_, &QAbstractSocket::errorOccurred, this, &Winsock::HandleSocketError);
}

Winsock::~Winsock()
{
    // The socket would abort an open connection in its own destructor and
    // report that to a half-destroyed object.
    QObject::disconnect(&socket_, nullptr, this, nullptr);
    Close();
}

void Winsock::SetConnectTimeout(std::chrono::milliseconds timeout)
{
    connectTimer_.setInterval(timeout);
}

void Winsock::Connect()
{
    Close();
    state_ = winsock_state::ResolvingHost;
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
            if (IsUnderInvalid(remoteHost_))
                Fail(11001, QStringLiteral("Host not found"));
            else
                socket_.connectToHost(QString::fromLatin1(remoteHost_),
                                      static_cast<quint16>(remotePort_));
        },
        Qt::QueuedConnection);
}

std::string Winsock::GetData()
{
    const QByteArray bytes = socket_.readAll();
    announced_ = 0;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void Winsock::Close()
{
    ++attempt_;
    connectTimer_.stop();
    state_ = winsock_state::Closed;
    announced_ = 0;
    socket_.abort();
}

void Winsock::HandleStateChanged(QAbstractSocket::SocketState socketState)
{
    const bool attempting =
        state_ == winsock_state::ResolvingHost || state_ == winsock_state::Connecting;
    if (attempting && socketState == QAbstractSocket::ConnectingState)
        state_ = winsock_state::Connecting;
}

void Winsock::HandleConnected()
{
    if (state_ != winsock_state::ResolvingHost && state_ != winsock_state::Connecting)
        return;
    connectTimer_.stop();
    state_ = winsock_state::Connected;
    announced_ = 0;
    emit connected();
}

void Winsock::HandleReadyRead()
{
    if (state_ != winsock_state::Connected)
        return;
    const qint64 waiting = socket_.bytesAvailable();
    if (waiting <= announced_)
        return;
    announced_ = waiting;
    emit dataArrival(waiting);
}

// The normal end of an RFC 868 exchange: the server sends and closes. Qt
// reports that as RemoteHostClosedError first and then disconnected; the
// error is passed over and the close is reported here, after any bytes that
// were not yet announced.
void Winsock::HandleDisconnected()
{
    if (state_ != winsock_state::Connected)
        return;
    HandleReadyRead();
    if (state_ != winsock_state::Connected)
        return;
    state_ = winsock_state::PeerClosing;
    emit closed();
}

void Winsock::HandleSocketError(QAbstractSocket::SocketError socketError)
{
    if (state_ == winsock_state::Closed || state_ == winsock_state::Error ||
        state_ == winsock_state::PeerClosing)
        return;
    if (socketError == QAbstractSocket::RemoteHostClosedError && state_ == winsock_state::Connected)
        return;
    const WinsockError e = ToWinsockError(socketError);
    Fail(e.number, QString::fromLatin1(e.description));
}

void Winsock::HandleConnectTimeout()
{
    if (state_ != winsock_state::ResolvingHost && state_ != winsock_state::Connecting)
        return;
    state_ = winsock_state::Error;
    ++attempt_;
    socket_.abort();
    Fail(10060, QStringLiteral("Connection timed out"));
}

void Winsock::Fail(int number, const QString& description)
{
    connectTimer_.stop();
    state_ = winsock_state::Error;
    emit error(number, description);
}

}  // namespace quillon
