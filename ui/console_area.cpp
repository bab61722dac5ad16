#include "console_area.h"

#include <malloc.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>

#include "text/codepage.h"
#include "text_areas.h"

namespace quillon {

namespace {

// Printable ASCII is drawn a piece at a time; any other character on its own
// in its cell, so that a glyph of another width, or one from another font,
// cannot shift the columns.
bool PlainAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

ConsoleArea::ConsoleArea(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    MeasureFont();

    // The cue has a strip of its own under the text while it is shown, so
    // that it covers no line.
    cue_ = new QPushButton(this);
    cue_->setCursor(Qt::ArrowCursor);
    cue_->hide();
    cue_->installEventFilter(this);
    connect(cue_, &QPushButton::clicked, this, [this] { Follow(); });

    findBar_ = new QWidget(this);
    auto* layout = new QHBoxLayout(findBar_);
    layout->setContentsMargins(kMargin, 2, kMargin, 2);
    layout->addWidget(new QLabel(QStringLiteral("Find:"), findBar_));
    findField_ = new QLineEdit(findBar_);
    layout->addWidget(findField_, 1);
    findStatus_ = new QLabel(findBar_);
    layout->addWidget(findStatus_);
    findBar_->hide();
    connect(findField_, &QLineEdit::returnPressed, this,
            [this] { FindAgain(!(QApplication::keyboardModifiers() & Qt::ShiftModifier)); });
    // Typing finds on from where the last find stood, that place included.
    connect(findField_, &QLineEdit::textEdited, this,
            [this] { Find(anchor_ != cursor_ ? SelectionStart() : TopOfView(), true); });

    // Copy and Select All where the console has the focus; finding anywhere
    // in its window.
    const auto action = [this](const QString& text, const QList<QKeySequence>& keys, auto slot,
                               Qt::ShortcutContext context = Qt::WidgetWithChildrenShortcut) {
        auto* a = new QAction(text, this);
        a->setShortcuts(keys);
        a->setShortcutContext(context);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        return a;
    };
    copy_ = action(QStringLiteral("&Copy"), {QKeySequence::Copy}, [this] { Copy(); });
    selectAll_ = action(QStringLiteral("Select &All"), {QKeySequence::SelectAll}, [this] { SelectAll(); });
    find_ = action(QStringLiteral("&Find..."), {QKeySequence::Find}, [this] { ShowFind(); }, Qt::WindowShortcut);
    action(QStringLiteral("Find Next"), {QKeySequence(Qt::Key_F3)}, [this] { FindAgain(true); }, Qt::WindowShortcut);
    action(QStringLiteral("Find Previous"), {QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { FindAgain(false); },
           Qt::WindowShortcut);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { OnScrolled(); });
    UpdateScrollBars();

    newText_.setSingleShot(true);
    newText_.setInterval(kPaintInterval);
    connect(&newText_, &QTimer::timeout, this, [this] { ShowNewText(); });
}

QColor ConsoleArea::Resolve(std::uint32_t colour) const
{
    if (colour & colour::kSystemColourFlag) {
        // Only the grey (disabled) text colour is in use.
        return palette().color(QPalette::Disabled, QPalette::Text);
    }
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

void ConsoleArea::MeasureFont()
{
    // The advance as the font lays text out, often a fraction of a pixel
    // (7.22 for DejaVu Sans Mono at 9 points): a whole number would drift a
    // character from the drawn text every few dozen columns.
    advance_ = std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')));
    const QFontMetrics metrics(font());
    lineHeight_ = std::max(1, metrics.lineSpacing());
    ascent_ = metrics.ascent();

    rawFont_ = QRawFont::fromFont(font());
    QString ascii;
    for (char16_t c = 0x20; c < 0x7F; ++c)
        ascii.append(QChar(c));
    const QList<quint32> glyphs = rawFont_.isValid() ? rawFont_.glyphIndexesForString(ascii) : QList<quint32>();
    if (glyphs.size() != qsizetype(asciiGlyphs_.size()) ||
        std::any_of(glyphs.begin(), glyphs.end(), [](quint32 glyph) { return glyph == 0; })) {
        rawFont_ = QRawFont();  // a font without them: every character is drawn on its own
        return;
    }
    std::copy(glyphs.begin(), glyphs.end(), asciiGlyphs_.begin());
}

void ConsoleArea::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        MeasureFont();
        UpdateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

int ConsoleArea::RowsShown() const { return std::max(1, viewport()->height() / lineHeight_); }

int ConsoleArea::ColumnsShown() const { return std::max(1, int((viewport()->width() - kMargin) / advance_)); }

qreal ConsoleArea::CellX(std::size_t column) const
{
    return kMargin + (qreal(column) - horizontalScrollBar()->value()) * advance_;
}

qreal ConsoleArea::ColumnAt(qreal x) const { return (x - kMargin) / advance_ + horizontalScrollBar()->value(); }

std::uint64_t ConsoleArea::FirstLineShown() const { return std::uint64_t(verticalScrollBar()->value()); }

void ConsoleArea::AddText(std::string_view text, std::uint32_t colour) { AddRuns({{std::string(text), colour}}); }

void ConsoleArea::AddRuns(const std::vector<ConsoleRun>& runs)
{
    const std::uint64_t linesBefore = text_.LineCount();
    const std::uint64_t sizeBefore = text_.Size();
    for (const ConsoleRun& run : runs)
        text_.Append(run.text, run.colour);
    if (text_.Size() != sizeBefore)
        ShowAdded(1, linesBefore);
}

void ConsoleArea::ShowAdded(std::uint64_t reports, std::uint64_t linesBefore)
{
    if (reports == 0)
        return;
    if (!following_)
        unseen_ += reports;
    // The first report after a paint starts the wait; those behind it only
    // go into the text.
    if (!newText_.isActive()) {
        firstNewLine_ = linesBefore - 1;  // the line that was open takes the text
        newText_.start();
    }
}

void ConsoleArea::ShowNewText()
{
    if (!following_ && unseen_ > 0) {
        cue_->setText(QStringLiteral("%1 new report%2 below \u25BC").arg(unseen_).arg(unseen_ == 1 ? "" : "s"));
        cue_->adjustSize();
        PlaceBars();
        cue_->show();
    }
    UpdateScrollBars();
    // Text behind the view needs no painting.
    if (following_ || firstNewLine_ < FirstLineShown() + std::uint64_t(RowsShown()) + 1)
        viewport()->update();
}

void ConsoleArea::CatchUp()
{
    if (newText_.isActive()) {
        newText_.stop();
        ShowNewText();
    }
}

void ConsoleArea::Clear()
{
    if (Saving())
        export_->Abandon(QStringLiteral("The console was cleared before it was saved: nothing was saved."));
    text_.Clear();
    anchor_ = cursor_ = 0;
    unseen_ = 0;
    cue_->hide();
    following_ = true;
    UpdateScrollBars();
    viewport()->update();
    ::malloc_trim(0);  // the freed chunks go back to the system, not only to the heap
}

void ConsoleArea::UpdateScrollBars()
{
    const std::uint64_t rows = std::uint64_t(RowsShown());
    const std::uint64_t lines = text_.LineCount();
    QScrollBar* v = verticalScrollBar();
    v->setPageStep(int(rows));
    v->setRange(0, int(std::min<std::uint64_t>(INT_MAX, lines > rows ? lines - rows : 0)));
    if (following_)
        v->setValue(v->maximum());
    QScrollBar* h = horizontalScrollBar();
    const int columns = ColumnsShown();
    h->setPageStep(columns);
    h->setRange(0, std::max(0, int(std::min<std::size_t>(INT_MAX, text_.LongestLine())) - columns));
}

void ConsoleArea::Follow()
{
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    OnScrolled();
}

void ConsoleArea::OnScrolled()
{
    const QScrollBar* v = verticalScrollBar();
    following_ = !held_ && v->value() == v->maximum();
    if (following_ && unseen_ > 0) {
        unseen_ = 0;
        cue_->hide();
    }
}

void ConsoleArea::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    PlaceBars();
}

bool ConsoleArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cue_ && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        PlaceBars();
    return QAbstractScrollArea::eventFilter(watched, event);
}

void ConsoleArea::PlaceBars()
{
    // Under the text: the cue's strip, then the find bar.
    const int cueHeight = cue_->isHidden() ? 0 : cue_->height();
    const int findHeight = findBar_->isHidden() ? 0 : findBar_->sizeHint().height();
    setViewportMargins(0, 0, 0, cueHeight + findHeight);
    const QRect view = viewport()->geometry();
    cue_->move(view.left() + (view.width() - cue_->width()) / 2, view.bottom() + 1);
    if (findHeight > 0)
        findBar_->setGeometry(view.left(), view.bottom() + 1 + cueHeight, view.width(), findHeight);
}

void ConsoleArea::scrollContentsBy(int, int) { viewport()->update(); }

std::uint64_t ConsoleArea::PositionAt(QPointF point, bool cell)
{
    const std::int64_t row = point.y() < 0 ? -1 : std::int64_t(point.y()) / lineHeight_;
    const std::uint64_t first = FirstLineShown();
    const std::uint64_t line =
        std::min<std::uint64_t>(std::uint64_t(std::max<std::int64_t>(0, std::int64_t(first) + row)),
                                text_.LineCount() - 1);
    const qreal at = ColumnAt(point.x());
    const qreal column = std::max<qreal>(0, cell ? std::floor(at) : std::floor(at + 0.5));
    const ConsoleText::Line l = text_.LineAt(line);
    return l.start + std::min<std::uint64_t>(std::uint64_t(std::min<qreal>(column, qreal(INT_MAX))), l.text.size());
}

void ConsoleArea::Select(std::uint64_t from, std::uint64_t to)
{
    anchor_ = std::min(from, text_.Size());
    cursor_ = std::min(to, text_.Size());
    viewport()->update();
}

void ConsoleArea::SelectAll() { Select(0, text_.Size()); }

QString ConsoleArea::SelectedText()
{
    return FromCodePage(text_.Between(std::min(anchor_, cursor_), std::max(anchor_, cursor_)));
}

QString ConsoleArea::PlainText() { return FromCodePage(text_.Between(0, text_.Size())); }

void ConsoleArea::Copy()
{
    const std::uint64_t from = std::min(anchor_, cursor_);
    const std::uint64_t to = std::max(anchor_, cursor_);
    if (from == to)
        return;
    if (to - from <= copyLimit_) {
        QApplication::clipboard()->setText(SelectedText());
        return;
    }
    if (Saving()) {
        exportDialogs_->Tell(this, QStringLiteral("The console is still being saved; copy again when it is done."));
        return;
    }
    export_ = SaveInsteadOfCopy(text_, from, to, *exportDialogs_, this);
}

void ConsoleArea::ShowFind()
{
    findBar_->show();
    PlaceBars();
    findField_->setFocus();
    findField_->selectAll();
}

std::uint64_t ConsoleArea::TopOfView() { return text_.LineAt(FirstLineShown()).start; }

bool ConsoleArea::FindAgain(bool forward)
{
    // From the current find or selection, else from the top of the view.
    const bool selected = anchor_ != cursor_;
    return Find(selected ? SelectionStart() + (forward ? 1 : 0) : TopOfView(), forward);
}

void ConsoleArea::CloseFind()
{
    findBar_->hide();
    PlaceBars();
    needle_.clear();
    viewport()->update();
    setFocus(Qt::OtherFocusReason);  // the keys go to the view again, not nowhere
}

bool ConsoleArea::Find(std::uint64_t from, bool forward)
{
    // Text with a character that the console's code page lacks is nowhere
    // in it.
    const std::optional<std::string> typed = ToCodePage(findField_->text());
    needle_ = typed ? FoldCase(*typed) : std::string();
    viewport()->update();
    if (findField_->text().isEmpty()) {
        findStatus_->clear();
        return false;
    }
    const auto at = typed ? text_.Find(needle_, from, forward) : std::nullopt;
    if (!at) {
        findStatus_->setText(QStringLiteral("not found"));
        return false;
    }
    const bool wrapped = forward ? *at < from : *at >= from;
    findStatus_->setText(wrapped ? (forward ? QStringLiteral("continued from the top")
                                            : QStringLiteral("continued from the bottom"))
                                 : QString());
    Select(*at, *at + needle_.size());
    ScrollIntoView(*at);
    return true;
}

void ConsoleArea::ScrollIntoView(std::uint64_t position)
{
    CatchUp();  // the place may be in text not yet shown
    const std::uint64_t line = text_.LineOf(position);
    const std::uint64_t first = FirstLineShown();
    const std::uint64_t rows = std::uint64_t(RowsShown());
    if (line < first || line >= first + rows)
        verticalScrollBar()->setValue(int(std::min<std::uint64_t>(INT_MAX, line > rows / 2 ? line - rows / 2 : 0)));
    const std::uint64_t column = position - text_.LineAt(line).start;
    QScrollBar* h = horizontalScrollBar();
    if (column < std::uint64_t(h->value()) || column + needle_.size() > std::uint64_t(h->value() + ColumnsShown()))
        h->setValue(int(std::min<std::uint64_t>(INT_MAX, column > 4 ? column - 4 : 0)));
}

void ConsoleArea::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up: v->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Down: v->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_PageUp: v->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: v->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_Left: h->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Right: h->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Home:
        if (control)
            v->setValue(0);
        h->setValue(0);
        break;
    case Qt::Key_End: Follow(); break;
    case Qt::Key_Escape:
        if (!findBar_->isHidden())
            CloseFind();
        break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void ConsoleArea::HoldView()
{
    if (held_)
        return;
    followedBeforeHold_ = following_;
    held_ = true;
    following_ = false;
}

void ConsoleArea::ReleaseView()
{
    held_ = false;
    if (anchor_ != cursor_) {
        // As terminals do: what the mouse selected is pasted by the middle
        // button elsewhere; a selection too large for the clipboard is not
        // built (Copy offers to save it).
        QClipboard* clipboard = QApplication::clipboard();
        if (clipboard->supportsSelection() && std::max(anchor_, cursor_) - SelectionStart() <= copyLimit_)
            clipboard->setText(SelectedText(), QClipboard::Selection);
    } else if (followedBeforeHold_) {
        Follow();
    } else {
        OnScrolled();
    }
}

void ConsoleArea::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    HoldView();
    const std::uint64_t at = PositionAt(event->position());
    Select(event->modifiers() & Qt::ShiftModifier ? anchor_ : at, at);
}

void ConsoleArea::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && held_)
        ReleaseView();
}

void ConsoleArea::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Dragging beyond the top or the foot scrolls a line at a time.
    const QPointF point = event->position();
    if (point.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() >= viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    Select(anchor_, PositionAt(point));
}

void ConsoleArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    HoldView();
    const std::uint64_t at = PositionAt(event->position(), true);
    const ConsoleText::Line line = text_.LineAt(text_.LineOf(at));
    const std::string_view text = line.text;
    std::size_t begin = std::size_t(at - line.start);
    std::size_t end = begin;
    while (begin > 0 && text[begin - 1] != ' ')
        --begin;
    while (end < text.size() && text[end] != ' ')
        ++end;
    Select(line.start + begin, line.start + end);
}

void ConsoleArea::contextMenuEvent(QContextMenuEvent* event)
{
    copy_->setEnabled(anchor_ != cursor_);
    QMenu menu(this);
    menu.addActions({copy_, selectAll_});
    menu.addSeparator();
    menu.addAction(find_);
    menu.exec(event->globalPos());
}

void ConsoleArea::PaintLine(QPainter& painter, const ConsoleText::Line& line, int y)
{
    const int firstColumn = horizontalScrollBar()->value();
    const std::size_t shown = std::size_t(ColumnsShown()) + 1;
    // Cells from `from` up to `to`, their edges on whole pixels as the
    // glyphs are.
    const auto cells = [&](std::size_t from, std::size_t to) {
        const int left = qRound(CellX(from));
        return QRect(left, y, qRound(CellX(to)) - left, lineHeight_);
    };
    const std::string_view text = line.text;
    const std::size_t from = std::min<std::size_t>(std::size_t(firstColumn), text.size());
    const std::size_t to = std::min(text.size(), from + shown);

    // Found text, then the selection (to the line's end when it goes on).
    if (!needle_.empty()) {
        const std::string lower = FoldCase(text);
        for (std::size_t at = lower.find(needle_); at != std::string::npos; at = lower.find(needle_, at + 1))
            painter.fillRect(cells(at, at + needle_.size()), QColor(255, 230, 120));
    }
    const std::uint64_t selectionFrom = std::min(anchor_, cursor_);
    const std::uint64_t selectionTo = std::max(anchor_, cursor_);
    const auto cell = [&](std::uint64_t position) {  // the line break is the cell behind the text
        return std::size_t(std::clamp(position, line.start, line.start + text.size() + 1) - line.start);
    };
    const std::size_t selectedFrom = cell(selectionFrom);
    const std::size_t selectedTo = cell(selectionTo);
    if (selectedFrom < selectedTo)
        painter.fillRect(cells(selectedFrom, selectedTo), palette().color(QPalette::Highlight));

    // The colour runs that the view shows, each cut where the selection
    // begins and ends.
    const QColor selectedText = palette().color(QPalette::HighlightedText);
    const auto colours = line.colours;
    std::size_t change = 0;
    for (std::size_t column = from; column < to;) {
        while (change + 1 < colours.size() && colours[change + 1].offset <= line.start - line.chunkStart + column)
            ++change;
        std::size_t end = to;
        if (change + 1 < colours.size())
            end = std::min<std::size_t>(end, colours[change + 1].offset - (line.start - line.chunkStart));
        const bool selected = column >= selectedFrom && column < selectedTo;
        end = std::min(end, selected ? selectedTo : (column < selectedFrom ? selectedFrom : end));
        end = std::max(end, column + 1);
        painter.setPen(selected ? selectedText : Resolve(colours[change].colour));
        DrawCells(painter, text.substr(column, end - column), column, y + ascent_);
        column = end;
    }
}

void ConsoleArea::DrawCells(QPainter& painter, std::string_view text, std::size_t column, qreal baseline)
{
    if (rawFont_.isValid() && PlainAscii(text)) {
        // One call for the run, each glyph at its own cell.
        QList<quint32> glyphs;
        QList<QPointF> positions;
        glyphs.reserve(qsizetype(text.size()));
        positions.reserve(qsizetype(text.size()));
        for (std::size_t i = 0; i < text.size(); ++i) {
            glyphs.append(asciiGlyphs_[std::size_t(text[i] - 0x20)]);
            positions.append(QPointF(CellX(column + i), baseline));
        }
        QGlyphRun run;
        run.setRawFont(rawFont_);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, 0), run);
        return;
    }
    for (std::size_t i = 0; i < text.size(); ++i)
        painter.drawText(QPointF(CellX(column + i), baseline),
                         QString(QChar(Windows1252ToUnicode(std::uint8_t(text[i])))));
}

void ConsoleArea::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const std::uint64_t first = FirstLineShown();
    const std::uint64_t last = std::min<std::uint64_t>(text_.LineCount(), first + std::uint64_t(RowsShown()) + 1);
    for (std::uint64_t line = first; line < last; ++line)
        PaintLine(painter, text_.LineAt(line), int(line - first) * lineHeight_);
}

}  // namespace quillon
