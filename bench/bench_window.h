// The main window in-process for the console and status-box benchmarks: a
// throw-away program folder whose COM1 and COM2 are pseudo-terminals held
// here, a clock the benchmark moves and a clock setter that only records.
// The window is shown (on the offscreen platform under scripts/bench) and
// painted whenever the benchmark lets the event loop run.
#pragma once

#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/receiver.h"
#include "fakes.h"
#include "frames.h"
#include "main_window.h"
#include "station.h"
#include "station_folder.h"

namespace quillon::bench {

class BenchWindow : public test::StationFolder {
public:
    BenchWindow()
        : StationFolder("COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nHEXFILE=YES\r\n"),
          station(MakeStation()),
          window(std::make_unique<MainWindow>(*station))
    {
        station->Start();  // ticks are the benchmark's
        window->show();
        (void)QTest::qWaitForWindowExposed(window.get());
    }

    // Lets the window take posted events and paint.
    static void Settle() { QCoreApplication::processEvents(); }

    // The console runs of each frame's report with the options of the
    // quillon.ini above.
    static std::vector<std::vector<ConsoleRun>> Reports(const std::vector<std::string>& frames)
    {
        return test::ReportRuns(test::Joined(frames), {.hexFile = true});
    }

    std::unique_ptr<Station> station;
    std::unique_ptr<MainWindow> window;
};

}  // namespace quillon::bench
