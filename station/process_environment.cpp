#include "process_environment.h"

#include <QCoreApplication>

namespace quillon {

StationEnvironment ProcessEnvironment(FixedClock& logClock)
{
    StationEnvironment environment;
    environment.programDir = QCoreApplication::applicationDirPath();
    environment.echoStatus = qEnvironmentVariableIntValue("QUILLON_STATUS_TO_STDERR") == 1;
    if (const int port = qEnvironmentVariableIntValue("QUILLON_TIME_PORT"); port > 0 && port < 65536)
        environment.timeServerPort = quint16(port);
    if (const auto t = ParseTimestamp(qEnvironmentVariable("QUILLON_LOG_TIME").toStdString())) {
        logClock.Set(*t);
        environment.logClock = &logClock;
    }
    return environment;
}

}  // namespace quillon
