// What a service tells of its health, beside its status lines: systemd hears
// READY=1 once start-up is done, WATCHDOG=1 at every tick of the station (a
// hung event loop stops them, and WatchdogSec= restarts the service), and a
// status line (frames received, the input link) when it changes, every five
// seconds at most; with STATUS_FILE, the status file (app/status_file.h) is
// written at the start, every ten seconds and at the end of the run.
#pragma once

#include <string>

#include "service_notifier.h"
#include "station.h"

namespace quillon {

class ServiceHealth final : public StationView {
public:
    explicit ServiceHealth(Station& station) : station_(station) {}

    // After the station's Start.
    void Started();
    // After the station's Stop: the status file's last figures.
    void Ended();
    // The station's tick.
    void ShowClock(std::string_view clock) override;

    static constexpr int kStatusEveryTicks = 5;
    static constexpr int kFileEveryTicks = 10;

private:
    void WriteStatusFile();

    Station& station_;
    ServiceNotifier notifier_;
    std::string statusFile_;  // the full path; empty: none
    std::string statusSaid_;
    std::string fileFailure_;  // said once, until the file is written again
    int ticks_ = 0;
};

}  // namespace quillon
