// The real quillon binary in a throw-away program folder, the test playing the TNC on COM1; its logs
// read back through the program's own receive pipeline.
#pragma once

#include <QTest>
#include <algorithm>
#include <optional>
#include <random>

#include "frames.h"
#include "poll_until.h"
#include "program.h"

namespace quillon::test {

inline const std::string kIni = "COM_PORT=1\r\nCOM_SETTINGS=9600,N,8,1\r\nMIRROR_COM_PORT=2\r\nHEXFILE=YES\r\n";

inline std::size_t Lines(std::string_view text) { return std::size_t(std::count(text.begin(), text.end(), '\n')); }

// What the receive pipeline makes of bytes: a raw log read back, or the dump and hex lines of a stream.
struct Tally final : ReceiveSink {
    std::vector<std::string> frames;
    std::vector<std::chrono::system_clock::time_point> times;
    std::string dump, hex;
    std::size_t untimed = 0;  // frames without a time frame right in front
    bool timed = false;
    std::string Frames() const { return Joined(frames); }
    void RawLog(std::string_view bytes) override { frames.emplace_back(bytes), untimed += !timed, timed = false; }
    void LogTime(std::chrono::system_clock::time_point t) override { times.push_back(t), timed = true; }
    void DumpLog(std::string_view line) override { dump += line; }
    void HexLog(std::string_view line) override { hex += line; }
};

inline Tally Through(std::string_view bytes, bool readLog)
{
    Tally tally;
    FeedReceiver(bytes, readLog, tally);
    return tally;
}

// The stream in pieces of 1 to 700 bytes, what the program sends back drained on the way.
inline bool Play(Pty& pty, std::string_view stream, unsigned seed)
{
    std::mt19937 random(seed);
    for (std::size_t n = 0; !stream.empty(); stream.remove_prefix(n), pty.ReadAvailable())
        if (n = std::min<std::size_t>(stream.size(), 1 + random() % 700); !pty.WriteAll(stream.substr(0, n)))
            return false;
    return true;
}

// A program folder and the program running in it.
struct Station {
    explicit Station(const std::string& ini = kIni + "TIMEFRAMES=YES\r\n") { folder.Write("quillon.ini", ini); }
    bool Start(QStringList environment = {}, QStringList arguments = {})
    {
        return q.emplace(folder, environment, QStringList{}, std::string{}, arguments).WaitStarted();
    }
    std::string Output() { return q->Output(); }
    Tally Raw() const { return Through(folder.ReadLog(".kss"), true); }
    // Until the raw log holds `frames` frames and the dump log a line each (the output read meanwhile).
    bool Logged(std::size_t frames)
    {
        return QTest::qWaitFor([&] { return Raw().frames.size() >= frames && Lines(folder.ReadLog(".dump")) >= frames; },
                               120000);
    }
    ProgramFolder folder;
    std::optional<RunningQuillon> q;
};

}  // namespace quillon::test
