#include "kiss_server.h"

#include <QHostAddress>
#include <algorithm>

#include "kiss/frame_assembler.h"

namespace quillon {

namespace {

std::string Address(const QHostAddress& host, quint16 port)
{
    const QString text = host.protocol() == QAbstractSocket::IPv6Protocol && !host.toIPv4Address()
                             ? "[" + host.toString() + "]"
                             : QHostAddress(host.toIPv4Address()).toString();
    return text.toStdString() + ":" + std::to_string(port);
}

}  // namespace

KissServer::KissServer(TcpAddress address, std::function<void(std::string_view, Severity)> say, QObject* parent)
    : QObject(parent), address_(std::move(address)), say_(std::move(say)), server_(this), stallTimer_(this)
{
    server_.setMaxPendingConnections(kMaxClients + 1);
    connect(&server_, &QTcpServer::newConnection, this, &KissServer::OnNewConnection);
    stallTimer_.setInterval(1000);
    connect(&stallTimer_, &QTimer::timeout, this, &KissServer::CheckStalls);
}

KissServer::~KissServer() { Close(); }

bool KissServer::Listen()
{
    const std::string name = FormatTcpAddress(address_);
    QHostAddress host;
    if (!host.setAddress(QString::fromStdString(address_.host)) &&
        QString::fromStdString(address_.host).compare("localhost", Qt::CaseInsensitive) == 0)
        host = QHostAddress::LocalHost;
    if (host.isNull() || !server_.listen(host, address_.port)) {
        say_("KISS server " + name + " not listening: " +
                 (host.isNull() ? std::string("not an address") : server_.errorString().toStdString()),
             Severity::Warning);
        return false;
    }
    say_("KISS server listening on " + Address(server_.serverAddress(), server_.serverPort()), Severity::Info);
    stallTimer_.start();
    return true;
}

void KissServer::Close()
{
    stallTimer_.stop();
    server_.close();
    for (const auto& client : clients_) {
        client->socket->disconnect(this);
        client->socket->abort();
        client->socket->deleteLater();
    }
    clients_.clear();
}

void KissServer::OnNewConnection()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const std::string name = Address(socket->peerAddress(), socket->peerPort());
        if (int(clients_.size()) >= kMaxClients) {
            say_("KISS client " + name + " refused: " + std::to_string(kMaxClients) + " clients already",
                 Severity::Warning);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // The system's own buffer stays small, so that the queue is what
        // holds a slow client's frames (the system's would grow to megabytes).
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemBuffer);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->name = name;
        Client& c = *client;
        clients_.push_back(std::move(client));
        connect(socket, &QTcpSocket::readyRead, this, [this, &c] { OnClientBytes(c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [&c] { c.queue.Taken(ClientQueue::Clock::now()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, &c] { Drop(c, "disconnected"); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, &c] {
            if (c.socket->state() != QAbstractSocket::ConnectedState)
                Drop(c, "disconnected");
        });
        say_("KISS client " + name + " connected", Severity::Info);
    }
}

// A receive-only station passes nothing on to the TNC: the frames are only
// counted, and bytes outside frames go unnoticed.
void KissServer::OnClientBytes(Client& client)
{
    const QByteArray bytes = client.socket->readAll();
    int frames = 0;
    for (const char c : bytes)
        frames += AssembleByte(client.sent, static_cast<std::uint8_t>(c)) == Assembled::Frame;
    framesFromClients_ += std::uint64_t(frames);
    if (frames > 0 && !std::exchange(client.sendingSaid, true))
        say_("KISS client " + client.name + " sends frames: not passed to the TNC (this station only receives)",
             Severity::Warning);
}

void KissServer::Drop(Client& client, std::string_view why)
{
    const auto it = std::find_if(clients_.begin(), clients_.end(), [&](const auto& c) { return c.get() == &client; });
    if (it == clients_.end())
        return;
    const std::unique_ptr<Client> gone = std::move(*it);
    clients_.erase(it);
    droppedByGone_ += gone->queue.FramesDropped();
    gone->socket->disconnect(this);
    gone->socket->abort();
    gone->socket->deleteLater();
    say_("KISS client " + gone->name + " " + std::string(why), Severity::Info);
}

void KissServer::CheckStalls()
{
    const auto now = ClientQueue::Clock::now();
    for (std::size_t i = clients_.size(); i-- > 0;) {
        Client& client = *clients_[i];
        if (client.queue.Stalled(std::uint64_t(client.socket->bytesToWrite()), now))
            Drop(client, "read nothing for 60 s: disconnected");
    }
}

// The common case, a queue with room for the whole block, is one write. A
// queue short of room first hands what it holds to the system, as much as
// the system takes at once, then takes the frames that fit, each whole.
void KissServer::Share(std::string_view frames, std::span<const std::uint32_t> sizes)
{
    if (frames.empty())
        return;
    const auto now = ClientQueue::Clock::now();
    for (const auto& client : clients_) {
        std::uint64_t waiting = std::uint64_t(client->socket->bytesToWrite());
        if (waiting + frames.size() <= ClientQueue::kLimit) {
            client->queue.Offer(waiting, frames.size(), now);
            client->socket->write(frames.data(), qint64(frames.size()));
            continue;
        }
        client->socket->flush();
        waiting = std::uint64_t(client->socket->bytesToWrite());
        std::size_t at = 0;
        for (const std::uint32_t size : sizes) {
            if (client->queue.Offer(waiting, size, now)) {
                client->socket->write(frames.data() + at, qint64(size));
                waiting += size;
            }
            at += size;
        }
    }
}

std::uint64_t KissServer::FramesDropped() const
{
    std::uint64_t dropped = droppedByGone_;
    for (const auto& client : clients_)
        dropped += client->queue.FramesDropped();
    return dropped;
}

}  // namespace quillon
