#include "headless_run.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

#include "app/configuration.h"
#include "headless_view.h"
#include "line_output.h"
#include "process_environment.h"
#include "service_health.h"
#include "small_file.h"
#include "station.h"
#include "unix_signals.h"

namespace quillon {

int RunHeadless(int argc, char** argv, const HeadlessOptions& options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
    const auto folder = ProgramFolder(options.dir);
    if (!folder)
        return 2;
    // A service's output goes to the journal line by line, as it happens,
    // and a reader that stalls or goes away holds nothing up.
    StandardStreams streams;
    FixedClock logClock;
    StationEnvironment environment = ProcessEnvironment(logClock, *folder);
    environment.idleLines = options.idleLines;
    environment.sayPortsNotOpened = true;
    Station station(std::move(environment));
    HeadlessView view(SayOnStandardOutput, options.monitor);
    station.AddView(view);
    ServiceHealth health(station);
    station.AddView(health);

    // A service told to read a KISS server it cannot name would read some
    // other device in its place: it does not start, and says why.
    station.ReadConfiguration();
    if (const std::string& refused = station.Config().kissTcpRefused; !refused.empty()) {
        SayOnStandardError(KissTcpRefusedLine(refused) + ": not started", Severity::Error);
        return kConfigurationRefused;
    }

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

int RunCheck(int argc, char** argv, const QString& dir)
{
    QCoreApplication app(argc, argv);
    const auto folder = ProgramFolder(dir);
    if (!folder)
        return 2;
    const std::string path = folder->toStdString();
    const SmallFile ini = ReadSmallFile(path, "quillon.ini");
    const SettingsCheck check = CheckSettings(ini.text);
    std::string fileWarning = ini.refusal;
    if (fileWarning.empty() && ini.text.empty())
        fileWarning = "quillon.ini: missing or empty, every key as not set";
    std::printf("%s/quillon.ini\n", path.c_str());
    for (const std::string& line : check.lines)
        std::printf("  %s\n", line.c_str());
    if (!fileWarning.empty())
        std::printf("warning: %s\n", fileWarning.c_str());
    for (const std::string& warning : check.warnings)
        std::printf("warning: %s\n", warning.c_str());
    return check.warnings.empty() && fileWarning.empty() ? 0 : 1;
}

}  // namespace quillon
