#include "station_folder.h"

#include <QFile>
#include <QtCore/qtestsupport_core.h>

#include "program.h"

namespace quillon::test {

StationFolder::StationFolder(const std::string& ini, const std::string& initScript, const std::string& exitScript)
{
    QFile::link(QString::fromStdString(com1.SlavePath()), dir.filePath("COM1"));
    QFile::link(QString::fromStdString(com2.SlavePath()), dir.filePath("COM2"));
    for (const auto& [name, text] :
         {std::pair{"quillon.ini", ini}, {"tnc_init.txt", initScript}, {"tnc_exit.txt", exitScript}})
        WriteFile(File(name), text);
}

std::unique_ptr<Station> StationFolder::MakeStation()
{
    return std::make_unique<Station>(
        StationEnvironment{.programDir = dir.path(), .clock = &clock, .clockSetter = &setter, .ownTicks = false});
}

bool StationFolder::Send(const Station& station, const std::string& bytes)
{
    for (std::size_t at = 0; at < bytes.size(); at += 1024) {
        const std::string piece = bytes.substr(at, 1024);
        const auto before = station.Counts().BytesReceived;
        if (!com1.WriteAll(piece) ||
            !QTest::qWaitFor([&] { return station.Counts().BytesReceived == before + piece.size(); }, 20000))
            return false;
    }
    return true;
}

std::string StationFolder::Receive(Pty& pty, std::size_t count)
{
    std::string got;
    (void)QTest::qWaitFor([&] { return (got += pty.ReadAvailable()).size() >= count; }, 20000);
    return got;
}

std::string StationFolder::Log(const char* ending) const
{
    return ReadFile(dir.filePath(QStringLiteral("28072013_1405.") + QString::fromLatin1(ending)).toStdString());
}

}  // namespace quillon::test
