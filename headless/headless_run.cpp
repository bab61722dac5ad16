#include "headless_run.h"

#include <QCoreApplication>
#include <csignal>

#include "headless_view.h"
#include "line_output.h"
#include "process_environment.h"
#include "service_health.h"
#include "station.h"
#include "unix_signals.h"

namespace quillon {

int RunHeadless(int argc, char** argv, bool monitor)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
    // A service's output goes to the journal line by line, as it happens,
    // and a reader that stalls or goes away holds nothing up.
    StandardStreams streams;
    FixedClock logClock;
    Station station(ProcessEnvironment(logClock));
    HeadlessView view(SayOnStandardOutput, monitor);
    station.AddView(view);
    ServiceHealth health(station);
    station.AddView(health);

    // In place before start-up: a signal that comes during it is taken up as
    // soon as the event loop runs. A second signal to end the run cuts the
    // wait for the exit script short.
    UnixSignals signals_;
    QObject::connect(&signals_, &UnixSignals::Received, &app, [&station](int number) {
        if (number == SIGHUP) {
            station.ReopenLogs();
            return;
        }
        station.Stop([] { return UnixSignals::Pending(); });
        QCoreApplication::exit(0);
    });

    station.Start();
    health.Started();
    const int code = QCoreApplication::exec();
    station.Stop();
    health.Ended();
    return code;
}

}  // namespace quillon
