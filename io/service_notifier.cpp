#include "service_notifier.h"

#include <string>

#ifdef QUILLON_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace quillon {

namespace {

void Notify([[maybe_unused]] const std::string& state)
{
#ifdef QUILLON_HAVE_SYSTEMD
    // Nothing to do outside a service; a failure to tell is no reason to stop.
    (void)sd_notify(0, state.c_str());
#endif
}

}  // namespace

void ServiceNotifier::Ready() { Notify("READY=1"); }

void ServiceNotifier::Watchdog() { Notify("WATCHDOG=1"); }

void ServiceNotifier::Status(std::string_view line) { Notify("STATUS=" + std::string(line)); }

void ServiceNotifier::Stopping() { Notify("STOPPING=1"); }

}  // namespace quillon
