#include "heard_list_window.h"

#include <QHeaderView>
#include <QVBoxLayout>
#include <chrono>

#include "text_areas.h"
#include "timesvc/timesvc.h"

namespace quillon {

namespace {

// "yyyy-MM-dd HH:nn:ss", UTC like every stamp of the program.
QString TimeText(std::chrono::system_clock::time_point t)
{
    return FromCodePage(FormatDateTime(std::chrono::floor<std::chrono::seconds>(t)));
}

qint64 Milliseconds(std::chrono::system_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

HeardListModel::HeardListModel(HeardList& list, QObject* parent) : QAbstractTableModel(parent), list_(list)
{
    list_.TakeChanges();
    rows_ = static_cast<int>(list_.Size());
}

bool HeardListModel::Refresh()
{
    const HeardList::Changes changes = list_.TakeChanges();
    if (!changes.Any())
        return false;
    if (changes.reset) {
        beginResetModel();
        rows_ = static_cast<int>(changes.rowsNow);
        endResetModel();
        return true;
    }
    if (changes.changedFirst < changes.changedEnd)
        emit dataChanged(index(static_cast<int>(changes.changedFirst), 0),
                         index(static_cast<int>(changes.changedEnd) - 1, ColumnCount - 1));
    if (changes.rowsNow > changes.rowsBefore) {
        beginInsertRows({}, static_cast<int>(changes.rowsBefore), static_cast<int>(changes.rowsNow) - 1);
        rows_ = static_cast<int>(changes.rowsNow);
        endInsertRows();
    }
    return true;
}

int HeardListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int HeardListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HeardListModel::data(const QModelIndex& index, int role) const
{
    // A row the views know of is in the list until the list is cleared, and
    // the refresh that follows a Clear comes before any view asks again.
    const auto row = static_cast<std::size_t>(index.row());
    if (!index.isValid() || index.row() >= rows_ || row >= list_.Size())
        return {};
    const HeardStation& station = list_.At(row);
    if (role == Qt::TextAlignmentRole && index.column() == Frames)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != kSortRole)
        return {};
    const bool sorting = role == kSortRole;
    switch (index.column()) {
    case Station: return FromCodePage(station.call);
    case Frames: return sorting ? QVariant::fromValue<qulonglong>(station.frames) : QString::number(station.frames);
    case FirstHeard: return sorting ? QVariant(Milliseconds(station.firstHeard)) : TimeText(station.firstHeard);
    case LastHeard: return sorting ? QVariant(Milliseconds(station.lastHeard)) : TimeText(station.lastHeard);
    case Route: return FromCodePage(station.route);
    case Text: return FromCodePage(station.payloadStart);
    default: return {};
    }
}

QVariant HeardListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Station: return QStringLiteral("Station");
    case Frames: return QStringLiteral("Frames");
    case FirstHeard: return QStringLiteral("First heard (UTC)");
    case LastHeard: return QStringLiteral("Last heard (UTC)");
    case Route: return QStringLiteral("Last to, via");
    case Text: return QStringLiteral("Last text");
    default: return {};
    }
}

HeardListWindow::HeardListWindow(QWidget* parent, std::size_t capacity) : QWidget(parent), list_(capacity)
{
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Heard list"));
    auto* layout = new QVBoxLayout(this);

    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->setPlaceholderText(QStringLiteral("Filter"));
    filter_->setClearButtonEnabled(true);
    layout->addWidget(filter_);

    model_ = new HeardListModel(list_, this);
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(HeardListModel::kSortRole);
    proxy_->setSortCaseSensitivity(Qt::CaseInsensitive);
    proxy_->setFilterKeyColumn(-1);  // any column
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    connect(filter_, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("stations"));
    table_->setModel(proxy_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(HeardListModel::LastHeard, Qt::DescendingOrder);  // who was heard just now, first
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);  // many rows in view
    table_->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics = table_->fontMetrics();
    const struct { int column; const char* sample; } widths[] = {
        {HeardListModel::Station, "MMMMMM-15"}, {HeardListModel::Frames, "99999999"},
        {HeardListModel::FirstHeard, "2013-07-28 14:05:09"}, {HeardListModel::LastHeard, "2013-07-28 14:05:09"},
        {HeardListModel::Route, "APRS via WIDE1-1*,WIDE2-1"},
    };
    for (const auto& w : widths)
        table_->setColumnWidth(w.column, metrics.horizontalAdvance(QString::fromLatin1(w.sample)) + 24);
    layout->addWidget(table_, 1);

    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, model_, &HeardListModel::Refresh);
    resize(900, 400);
}

void HeardListWindow::Clear()
{
    list_.Clear();
    model_->Refresh();
}

void HeardListWindow::Present()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void HeardListWindow::showEvent(QShowEvent* event)
{
    model_->Refresh();  // what came while it was hidden
    refresh_->start();
    QWidget::showEvent(event);
}

void HeardListWindow::hideEvent(QHideEvent* event)
{
    refresh_->stop();
    QWidget::hideEvent(event);
}

}  // namespace quillon
