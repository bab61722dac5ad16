// The receive-only igate's connection to an APRS-IS server: one TCP
// connection (a TcpLink, so it is looked up and tried again as every network
// link is), the login line at each connection, then one line for each frame
// heard that the igate rules let through (app/igate.h). Lines from the
// server are read and dropped: its comments ("#", keepalives) are answered
// by nothing. Nothing is kept while the server is away: a frame heard then
// is not gated (a late copy would break a track).
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string_view>

#include "app/configuration.h"
#include "app/igate.h"
#include "kiss/kiss.h"
#include "tcp_link.h"
#include "text/severity.h"

namespace quillon {

class IgateLink : public QObject {
    Q_OBJECT
public:
    // `say` takes the status lines.
    IgateLink(TcpAddress server, IgateLogin login, std::function<void(std::string_view, Severity)> say,
              QObject* parent = nullptr);

    // Connects, in the background, and keeps connecting while away.
    void Start();
    // A frame heard, as received.
    void Offer(const ReceiveState& frame);

    Link& Connection() { return link_; }
    std::uint64_t Gated() const { return gated_; }
    std::uint64_t NotGated() const { return notGated_; }

private:
    IgateLogin login_;
    std::function<void(std::string_view, Severity)> say_;
    TcpLink link_;
    std::uint64_t gated_ = 0;
    std::uint64_t notGated_ = 0;
};

}  // namespace quillon
