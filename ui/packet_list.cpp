#include "packet_list.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "named.h"
#include "text_areas.h"

namespace quillon {

namespace {

// The filter is applied once the user has stopped typing for this long: over
// a million rows it takes a good part of a second.
constexpr int kFilterPauseMs = 400;
// The table's share of the height beside the chosen row's report.
constexpr int kTableStretch = 3;
constexpr int kReportStretch = 2;

PacketColumn ColumnOf(int section) { return static_cast<PacketColumn>(section); }

// The width of each column: room for a typical text, so that nothing needs
// to measure the rows.
QString WidthSample(PacketColumn column)
{
    switch (column) {
    case PacketColumn::Time: return QStringLiteral("2026-12-07 12:34:56.789");
    case PacketColumn::Port: return QStringLiteral("Port");
    case PacketColumn::From:
    case PacketColumn::To: return QStringLiteral("N0CALL-15");
    case PacketColumn::Via: return QStringLiteral("WIDE1-1*,WIDE2-1");
    case PacketColumn::Type: return QStringLiteral("SABME");
    case PacketColumn::Pid: return QStringLiteral("PID");
    case PacketColumn::Length: return QStringLiteral("Length");
    case PacketColumn::Summary: return QString(60, QChar('x'));
    case PacketColumn::Text: return QString(int(PacketStore::kTextBytes), QChar('x'));
    }
    return {};
}

// The blank-separated terms of a filter text, a quoted text with its blanks
// one term.
std::vector<QString> FilterTerms(const QString& text)
{
    std::vector<QString> terms;
    QString term;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QChar('"'))
            quoted = !quoted;
        if (c.isSpace() && !quoted) {
            if (!term.isEmpty())
                terms.push_back(std::exchange(term, QString()));
        } else {
            term.append(c);
        }
    }
    if (!term.isEmpty())
        terms.push_back(term);
    return terms;
}

}  // namespace

PacketListModel::PacketListModel(PacketStore& store, QObject* parent) : QAbstractTableModel(parent), store_(store)
{
    store_.TakeChanges();
    shown_ = store_.Size();
}

int PacketListModel::Refresh()
{
    const PacketStore::Changes changes = store_.TakeChanges();
    if (!changes.Any())
        return 0;
    textsRow_.reset();
    if (changes.reset) {
        beginResetModel();
        Relist();
        endResetModel();
        return 0;
    }
    if (changes.droppedFront > 0) {
        // The oldest rows went; the store's rows behind them moved down.
        const auto gone = std::uint32_t(changes.droppedFront);
        if (!Listed()) {
            beginRemoveRows({}, 0, int(changes.droppedFront) - 1);
            shown_ -= changes.droppedFront;
            endRemoveRows();
        } else if (sortColumn_ < 0) {
            const auto kept = std::lower_bound(listed_.begin(), listed_.end(), gone);
            const int count = int(kept - listed_.begin());
            if (count > 0)
                beginRemoveRows({}, 0, count - 1);
            listed_.erase(listed_.begin(), kept);
            for (std::uint32_t& row : listed_)
                row -= gone;
            if (count > 0)
                endRemoveRows();
        } else {
            beginResetModel();
            std::erase_if(listed_, [gone](std::uint32_t row) { return row < gone; });
            for (std::uint32_t& row : listed_)
                row -= gone;
            endResetModel();
        }
    }
    if (changes.rowsNow <= changes.rowsBefore)
        return 0;
    if (!Listed()) {
        const int first = int(shown_);
        beginInsertRows({}, first, int(changes.rowsNow) - 1);
        shown_ = changes.rowsNow;
        endInsertRows();
        return int(changes.rowsNow) - first;
    }
    const std::vector<std::uint32_t> added = store_.Select(filter_, changes.rowsBefore, changes.rowsNow);
    if (added.empty())
        return 0;
    const int first = int(listed_.size());
    beginInsertRows({}, first, first + int(added.size()) - 1);
    listed_.insert(listed_.end(), added.begin(), added.end());
    endInsertRows();
    return int(added.size());
}

void PacketListModel::SetFilter(const PacketFilter& filter)
{
    beginResetModel();
    filter_ = filter;
    store_.TakeChanges();  // every row is listed anew
    textsRow_.reset();
    Relist();
    endResetModel();
}

void PacketListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 && sortColumn_ < 0)
        return;
    beginResetModel();
    sortColumn_ = column;
    sortOrder_ = order;
    store_.TakeChanges();
    textsRow_.reset();
    Relist();
    endResetModel();
}

void PacketListModel::Relist()
{
    if (!Listed()) {
        std::vector<std::uint32_t>().swap(listed_);
        shown_ = store_.Size();
        return;
    }
    listed_ = store_.Select(filter_);
    if (sortColumn_ >= 0)
        store_.Sort(listed_, ColumnOf(sortColumn_), sortOrder_ == Qt::DescendingOrder);
}

std::size_t PacketListModel::StoreRow(int row) const { return Listed() ? listed_[std::size_t(row)] : std::size_t(row); }

int PacketListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(Listed() ? listed_.size() : shown_);
}

int PacketListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(kPacketColumnCount);
}

QVariant PacketListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const PacketColumn column = ColumnOf(index.column());
    if (role == Qt::TextAlignmentRole) {
        const bool number = column == PacketColumn::Port || column == PacketColumn::Length;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role == Qt::BackgroundRole) {
        if (watched_ && watched_(store_.FromCall(StoreRow(index.row()))))
            return WatchedBackground(QApplication::palette());
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    const std::size_t row = StoreRow(index.row());
    if (textsRow_ != row) {
        texts_ = store_.Texts(row);
        textsRow_ = row;
    }
    return FromCodePage(texts_[std::size_t(index.column())]);
}

QVariant PacketListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return FromCodePage(PacketColumnTitle(ColumnOf(section)));
}

PacketListPane::PacketListPane(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* filterRow = new QHBoxLayout;
    filterBox_ = Named(new QLineEdit(this), "listFilter");
    filterBox_->setPlaceholderText(
        QStringLiteral("from:N0CALL* to:APRS via:WIDE2* port:1 type:UI aprs:message word -term"));
    filterBox_->setClearButtonEnabled(true);
    filterBox_->setToolTip(
        QStringLiteral("Every term must hold; -term leaves out what it matches; press Enter to apply at once"));
    filterError_ = Named(new QLabel(this), "listFilterError");
    QPalette errorColours = filterError_->palette();
    errorColours.setColor(QPalette::WindowText, Qt::red);
    filterError_->setPalette(errorColours);
    filterError_->hide();
    filterRow->addWidget(new QLabel(QStringLiteral("Filter:"), this));
    filterRow->addWidget(filterBox_, 1);
    filterRow->addWidget(filterError_);
    layout->addLayout(filterRow);

    splitter_ = Named(new QSplitter(Qt::Vertical, this), "listSplitter");
    auto* top = new QWidget(splitter_);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);

    model_ = new PacketListModel(store_, this);
    table_ = Named(new QTableView(top), "packetTable");
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setWordWrap(false);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Every row one line high, so that nothing measures the rows.
    QHeaderView* rows = table_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    QHeaderView* columns = table_->horizontalHeader();
    for (std::size_t c = 0; c < kPacketColumnCount; ++c)
        table_->setColumnWidth(int(c), table_->fontMetrics().horizontalAdvance(WidthSample(ColumnOf(int(c)))) + 12);
    columns->setStretchLastSection(true);
    columns->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = table_->indexAt(at);
        if (index.isValid())
            RowMenu(index.row())->popup(table_->viewport()->mapToGlobal(at));
    });
    // The chosen row is the selected one: the table's current row moves by
    // itself too (to the first row when the table takes the focus).
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList chosen = table_->selectionModel()->selectedRows();
        ShowReportOf(chosen.isEmpty() ? QModelIndex() : chosen.first());
    });
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { OnScrolled(); });
    topLayout->addWidget(table_, 1);

    cue_ = Named(new QPushButton(top), "listCue");
    cue_->hide();
    connect(cue_, &QPushButton::clicked, this, [this] {
        Follow();
        table_->setFocus();
    });
    topLayout->addWidget(cue_, 0, Qt::AlignHCenter);

    report_ = Named(new ConsoleArea(reportDocument_, splitter_), "listReport");
    splitter_->addWidget(top);
    splitter_->addWidget(report_);
    splitter_->setStretchFactor(0, kTableStretch);
    splitter_->setStretchFactor(1, kReportStretch);
    layout->addWidget(splitter_, 1);
    setFocusProxy(table_);

    newRows_.setSingleShot(true);
    newRows_.setInterval(ConsoleArea::kPaintInterval);
    connect(&newRows_, &QTimer::timeout, this, &PacketListPane::ShowNewRows);
    filterTyped_.setSingleShot(true);
    filterTyped_.setInterval(kFilterPauseMs);
    connect(&filterTyped_, &QTimer::timeout, this, &PacketListPane::ApplyFilter);
    connect(filterBox_, &QLineEdit::textChanged, this, [this] { filterTyped_.start(); });
    connect(filterBox_, &QLineEdit::returnPressed, this, [this] {
        filterTyped_.stop();
        ApplyFilter();
    });
}

void PacketListPane::Add(const FrameReport& report)
{
    if (report.frame.empty())
        return;
    ReceiveState frame;
    const std::size_t length = std::min<std::size_t>(report.frame.size(), kRawFrameSize);
    std::copy_n(report.frame.begin(), length, frame.RawFrame.begin() + 1);
    frame.RawFrameLength = std::int16_t(length);
    store_.Append(frame, report.time, report.decoded ? &*report.decoded : nullptr);
    if (!newRows_.isActive())
        newRows_.start();
}

void PacketListPane::Clear()
{
    store_.Clear();
    reportDocument_->Clear();
    unseen_ = 0;
    cue_->hide();
    following_ = true;
    CatchUp();
}

void PacketListPane::CatchUp()
{
    newRows_.stop();
    ShowNewRows();
}

void PacketListPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    CatchUp();
}

void PacketListPane::ShowNewRows()
{
    // A hidden table takes the rows in when it is shown.
    if (!isVisible())
        return;
    const int added = model_->Refresh();
    if (following_) {
        table_->scrollToBottom();
    } else if (added > 0) {
        unseen_ += std::uint64_t(added);
        cue_->setText(ConsoleArea::CueText(unseen_));
        cue_->show();
    }
}

void PacketListPane::Follow()
{
    following_ = true;
    table_->scrollToBottom();
    OnScrolled();
}

void PacketListPane::OnScrolled()
{
    const QScrollBar* v = table_->verticalScrollBar();
    following_ = v->value() == v->maximum();
    if (following_ && unseen_ > 0) {
        unseen_ = 0;
        cue_->hide();
    }
}

void PacketListPane::ShowReportOf(const QModelIndex& index)
{
    reportDocument_->Clear();
    if (!index.isValid())
        return;
    // A row chosen above the newest holds the table where it is.
    if (index.row() + 1 < model_->rowCount())
        following_ = false;
    const std::size_t row = model_->StoreRow(index.row());
    const FixedClock clock(store_.Time(row));
    const ReceiveState frame = store_.Frame(row);
    reportDocument_->AddReport((reporter_ ? reporter_(frame, clock) : ReportFrame(frame, true, {}, clock)).console);
    report_->CatchUp();
}

bool PacketListPane::ApplyFilter()
{
    const std::optional<std::string> text = ToCodePage(filterBox_->text());
    const FilterParse parsed =
        text ? ParsePacketFilter(*text)
             : FilterParse{.filter = std::nullopt, .error = "a character the station's code page lacks"};
    if (!parsed.filter) {
        filterError_->setText(FromCodePage(parsed.error));
        filterError_->show();
        return false;
    }
    filterError_->hide();
    model_->SetFilter(*parsed.filter);
    unseen_ = 0;
    cue_->hide();
    Follow();
    return true;
}

QMenu* PacketListPane::RowMenu(int row)
{
    auto* menu = Named(new QMenu(this), "listRowMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::string call(store_.FromCall(model_->StoreRow(row)));
    QAction* only = menu->addAction(QStringLiteral("only this station"));
    QAction* hide = menu->addAction(QStringLiteral("hide this station"));
    only->setEnabled(!call.empty());
    hide->setEnabled(!call.empty());
    connect(only, &QAction::triggered, this, [this, call] { AddStationTerm(call, true); });
    connect(hide, &QAction::triggered, this, [this, call] { AddStationTerm(call, false); });
    return menu;
}

void PacketListPane::AddStationTerm(const std::string& call, bool only)
{
    std::vector<QString> terms = FilterTerms(filterBox_->text());
    if (only)
        std::erase_if(
            terms, [](const QString& term) { return term.startsWith(QStringLiteral("from:"), Qt::CaseInsensitive); });
    terms.push_back((only ? QStringLiteral("from:") : QStringLiteral("-from:")) + FromCodePage(call));
    QStringList joined(terms.begin(), terms.end());
    filterBox_->setText(joined.join(QChar(' ')));
    filterTyped_.stop();
    ApplyFilter();
}

}  // namespace quillon
