// The heard list window: who is on the channel, one row per station, sortable
// by every column and filtered by a text that any column may contain.
//
// The window owns its list and takes every report, shown or not, so that it
// is complete whenever it is opened: as a view of the running station, or
// through Add from a window that reads an old log. The table follows the list at
// most once a second, and only while the window is shown.
#pragma once

#include <QAbstractTableModel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QWidget>

#include "app/heard_list.h"
#include "station.h"

namespace quillon {

// The list as a table. Rows are the list's rows, in place; a refresh tells
// the views which rows changed and which are new, so that sorting, selection
// and scrolling stay as they were. Qt::UserRole is the value to sort by:
// frames, distances, angles, speeds and degrees as numbers, times as
// milliseconds; an empty cell has none and sorts after every value.
class HeardListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Station,
        Symbol,
        Frames,
        FirstHeard,
        LastHeard,
        AprsType,
        Distance,
        Bearing,
        Latitude,
        Longitude,
        Course,
        Speed,
        Comment,
        Route,
        Text,
        ColumnCount
    };
    static constexpr int kSortRole = Qt::UserRole;

    // The list must outlive the model.
    explicit HeardListModel(HeardList& list, QObject* parent = nullptr);

    // Takes in what changed in the list since the last refresh; false when
    // nothing did.
    bool Refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    HeardList& list_;
    int rows_ = 0;  // the rows the views know of
};

class HeardListWindow : public QWidget, public StationView {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 1000;

    // A window of its own that `parent`, when given, owns.
    explicit HeardListWindow(QWidget* parent = nullptr, std::size_t capacity = HeardList::kDefaultCapacity);

    void Add(const FrameReport& report) { list_.Add(report); }
    void ShowReport(const FrameReport& report) override { Add(report); }
    void Clear();
    // Where the user's own station is, for the distances and bearings;
    // nothing: no distances. Shown at once.
    void SetOwnLocation(std::optional<GeoPoint> location);
    void ShowOwnLocation(std::optional<GeoPoint> place) override { SetOwnLocation(place); }
    // Shows the window in front, restored when it was minimised.
    void Present();

    const HeardList& List() const { return list_; }
    // What the table shows: the rows sorted and filtered.
    QSortFilterProxyModel& Rows() { return *proxy_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    HeardList list_;
    HeardListModel* model_ = nullptr;
    QSortFilterProxyModel* proxy_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QTableView* table_ = nullptr;
    QTimer* refresh_ = nullptr;
};

}  // namespace quillon
