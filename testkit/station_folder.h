// A station in-process in a throw-away program folder, COM1 and COM2 on pseudo-terminals held here,
// a clock the test sets (2013-07-28 14:05:09.437: logs 28072013_1405.*), and ticks of the test's own.
#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string>

#include "fakes.h"
#include "pseudo_terminal.h"
#include "station.h"

namespace quillon::test {

struct StationFolder {
    explicit StationFolder(const std::string& ini, const std::string& initScript = "",
                           const std::string& exitScript = "");

    // A station in this folder, not yet started.
    std::unique_ptr<Station> MakeStation();
    // Bytes from the TNC, a piece at a time, once `station` has taken them all.
    bool Send(const Station& station, const std::string& bytes);
    // What the station sent to a device, once `count` bytes have come.
    static std::string Receive(Pty& pty, std::size_t count);
    // A log of the run, by its ending ("kss").
    std::string Log(const char* ending) const;
    std::string File(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    QTemporaryDir dir;
    Pty com1, com2;
    FakeClock clock{At(14h + 5min + 9s + 437ms)};
    FakeClockSetter setter;
};

}  // namespace quillon::test
