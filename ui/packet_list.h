// The packet list: one row per frame in a table, a filter box above it, the
// chosen row's whole report below it (as the console shows it), in a
// window's place of the console when the View menu says so.
//
// The frames go into a PacketStore (core/packets) as they are reported; the
// model formats a row's texts when the table asks for them and keeps nothing
// per row. The table hears of new rows at most every
// ConsoleArea::kPaintInterval, the way the console shows new text, and only
// while it is shown: a busy channel brings thousands of frames a second and
// each insert would cost a layout and a paint.
//
// The table follows the newest row while it is scrolled to the bottom; when
// the user scrolls up or chooses a row it stays where it is and a cue under
// it counts the rows that arrived below (the cue, End or scrolling to the
// bottom follow again).
#pragma once

#include <QAbstractTableModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "console_area.h"
#include "decoder/frame_report.h"
#include "packets/packet_store.h"

namespace quillon {

// The rows of a store as a table: all of them in the order they came, or
// those a filter lets through, sorted by a column when the user asked. A
// sort orders the rows there are; rows that come later go below them in
// the order they come, until the next sort.
class PacketListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The store must outlive the model.
    explicit PacketListModel(PacketStore& store, QObject* parent = nullptr);

    // Takes in what the store has had since the last time; the rows added at
    // the end.
    int Refresh();
    // Shows the rows `filter` lets through, sorted as before.
    void SetFilter(const PacketFilter& filter);
    // The store's row shown in table row `row`.
    std::size_t StoreRow(int row) const;
    // Rows whose sender this says is watched get the background that the
    // console gives a watched station's address line.
    void SetWatched(std::function<bool(std::string_view call)> watched) { watched_ = std::move(watched); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A column below 0: the order the rows came in.
    void sort(int column, Qt::SortOrder order) override;

private:
    // Whether the table shows a list of its own rather than every row.
    bool Listed() const { return !filter_.Empty() || sortColumn_ >= 0; }
    void Relist();

    PacketStore& store_;
    PacketFilter filter_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    std::size_t shown_ = 0;              // with every row listed: rows the views know of
    std::vector<std::uint32_t> listed_;  // otherwise: the store's rows shown
    // The texts of the row the table last asked about: it asks for a row's
    // cells one after another.
    mutable std::optional<std::size_t> textsRow_;
    mutable PacketRowTexts texts_;
    std::function<bool(std::string_view call)> watched_;
};

class PacketListPane : public QWidget {
    Q_OBJECT
public:
    explicit PacketListPane(QWidget* parent = nullptr);

    // The reported frame as a row (its time, and the frame as received).
    void Add(const FrameReport& report);
    // Forgets every row.
    void Clear();
    // Reports a chosen row's frame as the console would report it now, its
    // stamps from `clock`; without it, decoded with the default options.
    using Reporter = std::function<FrameReport(const ReceiveState& frame, const Clock& clock)>;
    void SetReporter(Reporter reporter) { reporter_ = std::move(reporter); }
    // Shows the rows that wait at once.
    void CatchUp();

    // Applies the filter box's text; false (the text's fault shown beside the
    // box, the rows as they were) when a term is not understood.
    bool ApplyFilter();
    // The menu of a table row: "only this station", "hide this station".
    QMenu* RowMenu(int row);

    const PacketStore& Store() const { return store_; }
    PacketListModel& Model() { return *model_; }
    QTableView& Table() { return *table_; }
    QLineEdit& FilterBox() { return *filterBox_; }
    const QLabel& FilterError() const { return *filterError_; }
    // The chosen row's report.
    ConsoleArea& Report() { return *report_; }
    bool Following() const { return following_; }
    std::uint64_t UnseenRows() const { return unseen_; }
    const QPushButton& Cue() const { return *cue_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowNewRows();
    void Follow();
    void OnScrolled();
    void ShowReportOf(const QModelIndex& index);
    // The filter text with `term` for a station's rows; `only` drops the
    // other stations named with from: first.
    void AddStationTerm(const std::string& call, bool only);

    PacketStore store_;
    PacketListModel* model_ = nullptr;
    Reporter reporter_;
    QLineEdit* filterBox_ = nullptr;
    QLabel* filterError_ = nullptr;
    QTimer filterTyped_;  // the filter applied once the user stops typing
    QTableView* table_ = nullptr;
    QPushButton* cue_ = nullptr;
    QSplitter* splitter_ = nullptr;
    std::shared_ptr<ConsoleDocument> reportDocument_ = std::make_shared<ConsoleDocument>();
    ConsoleArea* report_ = nullptr;
    QTimer newRows_;  // runs while rows wait to be shown
    bool following_ = true;
    std::uint64_t unseen_ = 0;
};

}  // namespace quillon
