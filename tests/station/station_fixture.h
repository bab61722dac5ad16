// The station in the testkit's folder, with a view that writes down all it is told.
#pragma once

#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frames.h"
#include "program.h"
#include "station.h"
#include "station_folder.h"

namespace quillon::test {

// What the station tells (but the clock), as a front end would show it.
struct Recorder final : StationView {
    std::vector<FrameReport> reports;
    std::string status;  // the status box, lines ended with CR LF
    std::vector<std::string> statusLines;  // every status line of the run, the box emptied or not
    std::string received, sent;  // the counter labels
    PortLamps lamps;
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
    void ShowLogFailures(const std::vector<std::string>& lines) override { logFailures = lines; }
    void ShowMirroring(bool on) override { mirroring = on; }
    void ShowLinks(std::string_view in, std::string_view out, std::string_view inEffect) override
    {
        links = std::string(in) + "|" + std::string(out) + "|" + std::string(inEffect);
    }
};

struct Running : StationFolder {
    explicit Running(const std::string& ini, const std::string& initScript = "", const std::string& exitScript = "",
                     bool start = true)
        : StationFolder(ini, initScript, exitScript), station(MakeStation())
    {
        station->AddView(view);
        if (start)
            station->Start();
    }
    bool Send(const std::string& bytes) { return StationFolder::Send(*station, bytes); }

    Recorder view;
    std::unique_ptr<Station> station;
};

}  // namespace quillon::test
