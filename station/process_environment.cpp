#include "process_environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace quillon {

std::optional<QString> ProgramFolder(const QString& dir)
{
    QString folder = dir;
    const char* from = "--dir";
    if (folder.isEmpty()) {
        folder = qEnvironmentVariable("QUILLON_DIR");
        from = "QUILLON_DIR";
    }
    if (folder.isEmpty())
        return QCoreApplication::applicationDirPath();
    if (!QFileInfo(folder).isDir()) {
        std::fprintf(stderr, "quillon: %s %s: not a folder\n", from, qPrintable(folder));
        return std::nullopt;
    }
    return QDir(folder).absolutePath();
}

StationEnvironment ProcessEnvironment(FixedClock& logClock, const QString& programFolder)
{
    StationEnvironment environment;
    environment.programDir = programFolder;
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
