// The running station without any window, on a QCoreApplication: a throw-away
// program folder whose COM1 and COM2 link to pseudo-terminals held by the
// test, a clock the test sets, a clock setter that records, and a view that
// writes down everything the station tells it.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes.h"
#include "frames.h"
#include "program.h"
#include "pseudo_terminal.h"
#include "station.h"

namespace quillon::test {

// Everything the station tells, as a front end would show it.
struct Recorder final : StationView {
    std::vector<FrameReport> reports;
    std::string status;  // the status box, lines ended with CR LF
    std::vector<std::string> statusLines;  // every status line of the run, the box emptied or not
    std::string received, sent;  // the counter labels
    PortLamps lamps;
    std::string clock;
    std::vector<std::string> logFailures;
    bool mirroring = false;
    std::string links;

    void ShowReport(const FrameReport& r) override { reports.push_back(r); }
    void ShowStatusLine(std::string_view line) override
    {
        status += std::string(line) + "\r\n";
        statusLines.emplace_back(line);
    }
    void ClearStatus() override { status.clear(); }
    void ShowReceiveCounts(const Counters& c) override
    {
        received = std::to_string(c.BytesReceived) + " Bytes received (" + std::to_string(c.FrameCount) + " Frames)";
    }
    void ShowBytesSent(std::int32_t bytes) override { sent = std::to_string(bytes) + " Bytes sent"; }
    void ShowLamps(PortLamps l) override { lamps = l; }
    void ShowClock(std::string_view c) override { clock = c; }
    void ShowLogFailures(const std::vector<std::string>& lines) override { logFailures = lines; }
    void ShowMirroring(bool on) override { mirroring = on; }
    void ShowLinks(std::string_view in, std::string_view out, std::string_view inEffect) override
    {
        links = std::string(in) + "|" + std::string(out) + "|" + std::string(inEffect);
    }
};

struct Running {
    explicit Running(const std::string& ini, const std::string& initScript = "", const std::string& exitScript = "",
                     bool start = true)
    {
        QFile::link(QString::fromStdString(com1.SlavePath()), dir.filePath("COM1"));
        QFile::link(QString::fromStdString(com2.SlavePath()), dir.filePath("COM2"));
        for (const auto& [name, text] : {std::pair{"quillon.ini", ini}, {"tnc_init.txt", initScript},
                                         {"tnc_exit.txt", exitScript}})
            WriteFile(dir.filePath(name).toStdString(), text);
        StationEnvironment environment{.programDir = dir.path(), .clock = &clock, .clockSetter = &setter};
        environment.ownTicks = false;  // ticks are the test's
        station = std::make_unique<Station>(environment);
        station->SetView(&view);
        if (start)
            station->Start();
    }
    // Bytes from the TNC, once the station has taken them all. It reads on
    // this thread: a piece at a time, less than the line holds.
    bool Send(const std::string& bytes)
    {
        for (std::size_t at = 0; at < bytes.size(); at += 1024) {
            const std::string piece = bytes.substr(at, 1024);
            const auto before = station->Counts().BytesReceived;
            if (!com1.WriteAll(piece) ||
                !QTest::qWaitFor([&] { return station->Counts().BytesReceived == before + piece.size(); }, 20000))
                return false;
        }
        return true;
    }
    static std::string Receive(Pty& pty, std::size_t count)
    {
        std::string got;
        (void)QTest::qWaitFor([&] { return (got += pty.ReadAvailable()).size() >= count; }, 20000);
        return got;
    }
    std::string Log(const char* ending) const
    {
        return ReadFile(dir.filePath(QStringLiteral("28072013_1405.") + ending).toStdString());
    }

    QTemporaryDir dir;
    Pty com1, com2;
    FakeClock clock{At(14h + 5min + 9s + 437ms)};
    FakeClockSetter setter;
    Recorder view;
    std::unique_ptr<Station> station;
};

}  // namespace quillon::test
