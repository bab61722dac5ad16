// A KISS server for other programs (a map such as Xastir or YAAC, a logger,
// a script): every frame received from the TNC goes to every client as one
// KISS frame exactly as received. This station only receives: frames a
// client sends are counted, said once for that client, and dropped.
//
// Each client has a bounded queue that takes whole frames or none
// (client_queue.h): a client that stops reading loses whole frames, and one
// that has read nothing for a minute is disconnected. At most 16 clients;
// the next one is refused. Connects, disconnects and refusals are status
// lines. Everything runs in the Qt event loop and nothing waits.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/client_queue.h"
#include "app/configuration.h"
#include "kiss/kiss.h"
#include "text/severity.h"

namespace quillon {

class KissServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 16;
    static constexpr int kSystemBuffer = 64 * 1024;  // a client socket's send buffer

    // `say` takes the status lines.
    KissServer(TcpAddress address, std::function<void(std::string_view, Severity)> say, QObject* parent = nullptr);
    ~KissServer() override;

    // Starts listening; false (and said) when the address cannot be had.
    bool Listen();
    // Clients dropped, listening ended.
    void Close();
    quint16 Port() const { return server_.serverPort(); }

    // The whole frames of one block, one after the other, `sizes` their
    // lengths in order.
    void Share(std::string_view frames, std::span<const std::uint32_t> sizes);

    int Clients() const { return int(clients_.size()); }
    // Frames that clients sent, and that went nowhere.
    std::uint64_t FramesFromClients() const { return framesFromClients_; }
    // Frames a client's full queue did not take, over all clients.
    std::uint64_t FramesDropped() const;

private:
    struct Client {
        QTcpSocket* socket = nullptr;  // a child of the server; deleted later
        std::string name;              // "127.0.0.1:40000"
        ClientQueue queue;
        ReceiveState sent{};  // what the client sends, cut into frames only to count them
        bool sendingSaid = false;
    };

    void OnNewConnection();
    void OnClientBytes(Client& client);
    void Drop(Client& client, std::string_view why);
    void CheckStalls();

    TcpAddress address_;
    std::function<void(std::string_view, Severity)> say_;
    QTcpServer server_;
    QTimer stallTimer_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::uint64_t framesFromClients_ = 0;
    std::uint64_t droppedByGone_ = 0;  // of clients that are gone
};

}  // namespace quillon
