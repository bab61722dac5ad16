#include "heard_list_window.h"

#include <QHeaderView>
#include <QVBoxLayout>
#include <chrono>

#include "aprs/symbol_names.h"
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

// The text of a number a station may lack, or its value to sort by.
template <typename Number>
QVariant Shown(const std::optional<Number>& value, bool sorting, int decimals = 0)
{
    if (!value)
        return {};
    if (sorting)
        return QVariant(static_cast<double>(*value));
    return QString::number(static_cast<double>(*value), 'f', decimals);
}

QString TypeText(const HeardStation& station)
{
    if (!station.aprsType)
        return {};
    const QString type = QString::fromLatin1(AprsTypeName(*station.aprsType));
    return station.aprsMalformed ? type + QStringLiteral(" (malformed)") : type;
}

bool IsNumeric(int column)
{
    switch (column) {
    case HeardListModel::Frames:
    case HeardListModel::Distance:
    case HeardListModel::Bearing:
    case HeardListModel::Latitude:
    case HeardListModel::Longitude:
    case HeardListModel::Course:
    case HeardListModel::Speed: return true;
    default: return false;
    }
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

int HeardListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int HeardListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant HeardListModel::data(const QModelIndex& index, int role) const
{
    // A row the views know of is in the list until the list is cleared, and
    // the refresh that follows a Clear comes before any view asks again.
    const auto row = static_cast<std::size_t>(index.row());
    if (!index.isValid() || index.row() >= rows_ || row >= list_.Size())
        return {};
    const HeardStation& station = list_.At(row);
    if (role == Qt::TextAlignmentRole && IsNumeric(index.column()))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != kSortRole)
        return {};
    const bool sorting = role == kSortRole;
    const auto position = [&](double GeoPoint::*coordinate) {
        const auto value = station.position ? std::optional<double>((*station.position).*coordinate) : std::nullopt;
        return Shown(value, sorting, 5);
    };
    switch (index.column()) {
    case Station: return FromCodePage(station.call);
    case Symbol: return FromCodePage(AprsSymbolText(station.symbolTable, station.symbolCode));
    case Frames: return sorting ? QVariant::fromValue<qulonglong>(station.frames) : QString::number(station.frames);
    case FirstHeard: return sorting ? QVariant(Milliseconds(station.firstHeard)) : TimeText(station.firstHeard);
    case LastHeard: return sorting ? QVariant(Milliseconds(station.lastHeard)) : TimeText(station.lastHeard);
    case AprsType: return TypeText(station);
    case Distance: return Shown(station.distanceKm, sorting, 1);
    case Bearing: return Shown(station.bearing, sorting);
    case Latitude: return position(&GeoPoint::latitude);
    case Longitude: return position(&GeoPoint::longitude);
    case Course: return Shown(station.course, sorting);
    case Speed: return Shown(station.speedKmh, sorting);
    case Comment: return FromCodePage(station.comment);
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
    case Symbol: return QStringLiteral("Symbol");
    case Frames: return QStringLiteral("Frames");
    case FirstHeard: return QStringLiteral("First heard (UTC)");
    case LastHeard: return QStringLiteral("Last heard (UTC)");
    case AprsType: return QStringLiteral("Last APRS");
    case Distance: return QStringLiteral("Distance (km)");
    case Bearing: return QStringLiteral("Bearing (°)");
    case Latitude: return QStringLiteral("Latitude");
    case Longitude: return QStringLiteral("Longitude");
    case Course: return QStringLiteral("Course (°)");
    case Speed: return QStringLiteral("Speed (km/h)");
    case Comment: return QStringLiteral("Status or comment");
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
    const struct {
        int column;
        const char* sample;
    } widths[] = {
        {HeardListModel::Station, "MMMMMM-15"},
        {HeardListModel::Symbol, "/> weather station"},
        {HeardListModel::Frames, "99999999"},
        {HeardListModel::FirstHeard, "2013-07-28 14:05:09"},
        {HeardListModel::LastHeard, "2013-07-28 14:05:09"},
        {HeardListModel::AprsType, "telemetry-meta"},
        {HeardListModel::Distance, "Distance (km)"},
        {HeardListModel::Bearing, "Bearing (°)"},
        {HeardListModel::Latitude, "-90.00000"},
        {HeardListModel::Longitude, "-180.00000"},
        {HeardListModel::Course, "Course (°)"},
        {HeardListModel::Speed, "Speed (km/h)"},
        {HeardListModel::Comment, "Status or comment as long as this"},
        {HeardListModel::Route, "APRS via WIDE1-1*,WIDE2-1"},
    };
    for (const auto& w : widths)
        table_->setColumnWidth(w.column, metrics.horizontalAdvance(QString::fromUtf8(w.sample)) + 24);
    layout->addWidget(table_, 1);

    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, model_, &HeardListModel::Refresh);
    resize(1200, 400);
}

void HeardListWindow::Clear()
{
    list_.Clear();
    model_->Refresh();
}

void HeardListWindow::SetOwnLocation(std::optional<GeoPoint> location)
{
    list_.SetOwnLocation(location);
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
