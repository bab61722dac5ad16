// An old raw KISS log (.kss) in a window of its own, read-only.
//
// The log goes through the receive pipeline as a log read back: its time
// frames are not shown but stamp the frames behind them, exactly as
// quillon-dump prints them. The reports go to a console of the window's own
// (find and copy as in the main window), to its own packet list (its View
// menu switches between the two) and are handed on one by one to the
// window's own heard list. Nothing is logged and the
// station's counters are not touched: the window has its own receiver and
// its own sink.
//
// The file is read on the event loop a slice at a time (as much as fits in
// about 20 ms), so that a log of a million frames opens while the window,
// the main window and the station go on; the status line counts the frames
// read so far, a progress bar shows how far the file has been read, and
// closing the window stops the reading.
#pragma once

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/receiver.h"
#include "console_area.h"
#include "heard_list_window.h"
#include "packet_list.h"
#include "report_views.h"
#include "timesvc/clock.h"

namespace quillon {

// A top-level window of its own: it stays open when the main window closes,
// and its close box ends it (and the reading).
class LogWindow : public QWidget, private ReceiveSink {
    Q_OBJECT
public:
    // Opens the log at `path` and shows it in a new window, reported decoded
    // or raw as `decode` says; frames without a time frame are stamped by
    // `clock`, which must outlive the window. A file that cannot be opened
    // is refused with a message box on `owner` telling why, and no window
    // (nullptr). Reading begins when the event loop next runs, so a report
    // handler set right after this call sees every report. With `aprs` an
    // APRS frame's report says what it means (APRS=YES); `ownLocation` gives
    // the heard list its distances.
    static LogWindow* Open(const QString& path, bool decode, const Clock& clock, QWidget* owner, bool aprs = false,
                           std::optional<GeoPoint> ownLocation = {});
    // The console's history goes back to the system, not only to the heap; a
    // save of it under way is cancelled without a word.
    ~LogWindow() override;

    // Each report after it is shown, in the order of the log.
    void SetReportHandler(std::function<void(const FrameReport&)> handler) { handOn_ = std::move(handler); }
    // Who was heard in the log; its "Heard list" button shows it.
    HeardListWindow& Heard() { return *heardListWindow_; }
    QPushButton& HeardListButton() { return *heardList_; }

    // The log's reports, and the view of them.
    ConsoleDocument& History() { return *history_; }
    ConsoleArea& Console() { return *console_; }
    // The log's frames as a list, and the switch between it and the console.
    PacketListPane& List() { return *list_; }
    ReportViews& Views() { return *views_; }
    const QString& Path() const { return path_; }
    // Frames reported so far (the time frames not counted).
    std::uint64_t FramesRead() const { return frames_; }
    // The whole file has been read, or reading it failed.
    bool Done() const { return done_; }
    QString StatusText() const { return status_->text(); }

    // The time one slice may take before the event loop runs again.
    static constexpr int kSliceMilliseconds = 20;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    LogWindow(std::unique_ptr<QFile> file, bool decode, bool aprs, const Clock& clock);

    void BuildWindow(bool decode);
    void CreateViewMenu();
    // Reads and reports the next slice of the file; the last one ends it.
    void ReadSlice();
    void Finish(const QString& failure);
    void ShowProgress();

    void Report(const FrameReport& report) override;

    std::unique_ptr<QFile> file_;
    QString path_;
    Receiver receiver_;
    std::vector<char> buffer_;
    QTimer reader_;  // zero interval: one slice per turn of the event loop
    std::uint64_t frames_ = 0;
    bool done_ = false;
    std::function<void(const FrameReport&)> handOn_;

    std::shared_ptr<ConsoleDocument> history_ = std::make_shared<ConsoleDocument>();
    ConsoleArea* console_ = nullptr;
    PacketListPane* list_ = nullptr;
    ReportViews* views_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* heardList_ = nullptr;
    HeardListWindow* heardListWindow_ = nullptr;  // a window of its own that closes with this one
};

}  // namespace quillon
