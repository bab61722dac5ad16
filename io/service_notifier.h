// Tells systemd how the service is (sd_notify): ready once start-up is done,
// alive at every tick (for WatchdogSec=), and a one-line status. Built with
// libsystemd where the build finds it; without it, and outside a service
// (no NOTIFY_SOCKET), every call does nothing. A call never waits: the
// message is one datagram on a local socket.
#pragma once

#include <string_view>

namespace quillon {

class ServiceNotifier {
public:
    void Ready();
    void Watchdog();
    void Status(std::string_view line);
    // The ending run: systemd waits for the process to exit.
    void Stopping();
};

}  // namespace quillon
