// The README's picture of the packet list: the main window on a station in
// a throw-away program folder (APRS=YES), the frames of a raw log sent to it
// through COM1 one by one a few seconds apart, the list shown with a filter
// and a chosen row's report, photographed as the window paints itself.
// scripts/screenshot --list runs it.
//
//   list_screenshot LOG.kss FILTER OUTPUT.png
//
// The row chosen is one of the last whose summary has a speed.
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <string>

#include "app/receiver.h"
#include "main_window.h"
#include "program.h"
#include "station_folder.h"

using namespace quillon;
using namespace std::chrono;

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: list_screenshot LOG.kss FILTER OUTPUT.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    // The log's frames without their time frames.
    struct Frames final : ReceiveSink {
        std::vector<std::string> frames;
        void Report(const FrameReport& r) override { frames.emplace_back(r.frame.begin(), r.frame.end()); }
    } log;
    FixedClock logClock;
    Receiver(logClock, {.report = {}, .decode = true, .buildReports = true, .readLogTimes = true})
        .Feed(test::ReadFile(argv[1]), log);

    test::StationFolder folder("APRS=YES\r\n");
    std::unique_ptr<Station> station = folder.MakeStation();
    MainWindow window(*station);
    station->Start();
    window.resize(1100, 760);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    window.Views().ShowList();
    for (const std::string& frame : log.frames) {
        folder.clock.Advance(milliseconds(2345));
        if (!folder.Send(*station, frame))
            return 1;
    }
    PacketListPane& list = window.List();
    list.FilterBox().setText(QString::fromLocal8Bit(argv[2]));
    if (!list.ApplyFilter() || list.Model().rowCount() < 4)
        return 1;
    // The last row but a few that says much.
    int chosen = list.Model().rowCount() - 4;
    for (int row = chosen; row > 0; --row) {
        if (list.Model().index(row, int(PacketColumn::Summary)).data().toString().contains(QStringLiteral("km/h"))) {
            chosen = row;
            break;
        }
    }
    list.Table().selectRow(chosen);
    list.Table().setFocus();
    QTest::qWait(200);
    if (!window.grab().save(QString::fromLocal8Bit(argv[3])))
        return 1;
    std::printf("%d of %zu frames listed\n", list.Model().rowCount(), log.frames.size());
    station->Stop();
    return 0;
}
