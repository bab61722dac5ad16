// A TCP server on 127.0.0.1 as a soundcard modem or a time server offers one: one client at a time,
// going away as a modem does (a close, a reset, no longer listening); waits in the caller's event loop.
#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtCore/qtestsupport_core.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::test {

// A loopback port nothing listens on (the system's choice, let go at once).
inline quint16 FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

class LoopbackServer {
public:
    // Listening, or only with a port of its own that nothing listens on yet.
    explicit LoopbackServer(bool listening = true)
    {
        server_.listen(QHostAddress::LocalHost, 0);
        port_ = server_.serverPort();
        if (!listening)
            server_.close();
    }

    quint16 Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Up again, on the same port.
    bool Listen() { return server_.isListening() || server_.listen(QHostAddress::LocalHost, port_); }
    // Refuses new connections from now on; a connection made stays.
    void StopListening() { server_.close(); }

    // The next client; false when none came within the limit.
    bool Accept(std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        if (!QTest::qWaitFor([&] { return server_.hasPendingConnections(); }, int(limit.count())))
            return false;
        client_.reset(server_.nextPendingConnection());
        client_->setParent(nullptr);
        client_->setReadBufferSize(kReadBuffer);  // the rest waits in the system until asked for
        received_.clear();
        return true;
    }
    bool HasPendingClient() const { return server_.hasPendingConnections(); }

    bool Send(std::string_view bytes)
    {
        if (!client_ || client_->write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
            return false;
        client_->flush();
        return true;
    }
    // All the client has sent so far.
    std::string Received()
    {
        if (client_)
            received_ += client_->readAll().toStdString();
        return received_;
    }
    // The client closed its connection; false when it still stands after the limit.
    bool ClientGone(std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        return QTest::qWaitFor([&] { return !client_ || (Received(), client_->state() == QAbstractSocket::UnconnectedState); },
                               int(limit.count()));
    }

    // The connection ended in order (FIN) once what was sent is out.
    void Close() { if (client_) client_->disconnectFromHost(); }
    // The connection torn down (RST): a close with a zero linger time.
    void Reset()
    {
        if (!client_)
            return;
        const linger hard{1, 0};
        ::setsockopt(int(client_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        client_->abort();
    }

private:
    static constexpr qint64 kReadBuffer = 64 * 1024;
    QTcpServer server_;
    quint16 port_ = 0;
    std::unique_ptr<QTcpSocket> client_;
    std::string received_;
};

}  // namespace quillon::test
