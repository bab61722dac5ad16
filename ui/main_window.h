// The main window: shows what the station tells it (the console or the packet
// list, the status box, the counters, the lamps, the clock, the failing logs)
// and turns the user's clicks into calls on the station. Closing it ends the run.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <optional>
#include <string>

#include "console_area.h"
#include "desktop_notifier.h"
#include "heard_list_window.h"
#include "indicator_lamp.h"
#include "log_indicator.h"
#include "log_window.h"
#include "packet_list.h"
#include "report_views.h"
#include "station.h"
#include "text_areas.h"

namespace quillon {

class MainWindow : public QMainWindow, private StationView {
    Q_OBJECT
public:
    // The station must outlive the window.
    explicit MainWindow(Station& station, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The console's reports, and the view of them.
    ConsoleDocument& History() { return *history_; }
    ConsoleArea& Console() { return *console_; }
    // The packet list, and the switch between it and the console.
    PacketListPane& List() { return *list_; }
    ReportViews& Views() { return *views_; }
    StatusBox& Status() { return *statusBox_; }

    // "Open log…" without its file dialog: the raw log at `path` in a window
    // of its own, decoded as "Decode KISS Frame" stands now; nullptr (and a
    // message box) when it cannot be opened.
    LogWindow* OpenLogFile(const QString& path);

    // Where a watched station is announced; tests put one of their own.
    void SetNotifier(std::unique_ptr<DesktopNotifier> notifier) { notifier_ = std::move(notifier); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWindow();
    void BuildMenus();
    // The console and the packet list in the frame box, one shown at a time.
    QWidget* CreateReportViews(QWidget* parent);
    void CreateViewMenu();
    void CreateEditMenu();
    void AddWatchListAction(QMenu& menu);
    void EditWatchList();
    void ClearCounters();
    void ShowStatistics();
    void ShowHeardList();
    void ShowAbout();
    void OpenLog();
    // The caption and the received counter change with nearly every frame;
    // they are shown as often as the console paints, not for every frame.
    void ShowLatest();

    // What the station tells.
    void ShowReport(const FrameReport& report) override;
    void ShowStatusLine(std::string_view line) override;
    void ClearStatus() override;
    void ShowReceiveCounts(const Counters& counts) override;
    void ShowBytesSent(std::int32_t bytes) override;
    void ShowLamps(PortLamps lamps) override;
    void ShowClock(std::string_view clock) override;
    void ShowLogFailures(const std::vector<std::string>& lines) override;
    void ShowMirroring(bool on) override;
    void ShowLinks(std::string_view input, std::string_view mirror, std::string_view mirrorInEffect) override;
    void ShowWatchNotice(const WatchNotice& notice, const FrameReport& report) override;

    Station& station_;

    std::shared_ptr<ConsoleDocument> history_ = std::make_shared<ConsoleDocument>();
    ConsoleArea* console_ = nullptr;
    PacketListPane* list_ = nullptr;
    ReportViews* views_ = nullptr;
    QGroupBox* frameBox_ = nullptr;  // the console's box, captioned with the last frame's kind
    StatusBox* statusBox_ = nullptr;
    LogIndicator* logFailures_ = nullptr;
    QCheckBox* decodeSwitch_ = nullptr;
    QLabel* clock_ = nullptr;
    ElidingLabel* inputLabel_ = nullptr;
    ElidingLabel* mirrorLabel_ = nullptr;
    ElidingLabel* mirrorInEffect_ = nullptr;
    ElidingLabel* receivedCounter_ = nullptr;
    ElidingLabel* sentCounter_ = nullptr;
    IndicatorLamp* inputLamp_ = nullptr;
    IndicatorLamp* mirrorLamp_ = nullptr;
    QAction* mirrorAction_ = nullptr;
    QTimer latest_;                   // runs while a caption or counts wait to be shown
    std::string caption_;             // the last frame's kind, shown or waiting
    std::optional<Counters> counts_;  // waiting to be shown
    bool consoleFileSaid_ = false;    // that the console's history stays in memory
    QPointer<QWidget> statistics_;
    HeardListWindow* heardList_ = nullptr;  // fed every report, open or not
    QPointer<QWidget> about_;
    QPointer<QWidget> watchDialog_;
    std::unique_ptr<DesktopNotifier> notifier_ = std::make_unique<DBusNotifier>();
};

}  // namespace quillon
