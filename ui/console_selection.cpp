// Selecting, copying and finding in the console: the mouse, the keys of the
// clipboard, the context menu and the find bar's searches.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>

#include "console_area.h"
#include "text_areas.h"

namespace quillon {

namespace {

// Columns left in view before found text when the view moves to it.
constexpr std::uint64_t kFoundContext = 4;

}  // namespace

void ConsoleArea::AddActions()
{
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
    find_ = action(
        QStringLiteral("&Find..."), {QKeySequence::Find}, [this] { ShowFind(); }, Qt::WindowShortcut);
    findNext_ = action(
        QStringLiteral("Find Next"), {QKeySequence(Qt::Key_F3)}, [this] { FindAgain(true); }, Qt::WindowShortcut);
    findPrevious_ = action(
        QStringLiteral("Find Previous"), {QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { FindAgain(false); },
        Qt::WindowShortcut);
}

TextPosition ConsoleArea::PositionAt(QPointF point, bool cell) const
{
    const std::int64_t row = point.y() < 0 ? -1 : std::int64_t(point.y()) / lineHeight_;
    const std::uint64_t first = FirstLineShown().value;
    const LineNumber line(std::min<std::uint64_t>(std::uint64_t(std::max<std::int64_t>(0, std::int64_t(first) + row)),
                                                  Text().LineCount() - 1));
    const qreal at = ColumnAt(point.x());
    const qreal column = std::max<qreal>(0, cell ? std::floor(at) : std::floor(at + 0.5));
    const ConsoleText::Line l = Text().LineAt(line);
    return l.start + std::min<std::uint64_t>(std::uint64_t(std::min<qreal>(column, qreal(INT_MAX))), l.text.size());
}

void ConsoleArea::Select(TextPosition from, TextPosition to)
{
    anchor_ = std::min(from, Text().End());
    cursor_ = std::min(to, Text().End());
    copy_->setEnabled(anchor_ != cursor_);
    viewport()->update();
}

void ConsoleArea::SelectAll()
{
    Select(TextPosition(), Text().End());
    OfferPrimarySelection();
}

void ConsoleArea::OfferPrimarySelection()
{
    // As terminals do: what is selected is pasted by the middle button
    // elsewhere; a selection too large for the clipboard is not built (Copy
    // offers to save it).
    QClipboard* clipboard = QApplication::clipboard();
    if (anchor_ != cursor_ && clipboard->supportsSelection() &&
        std::max(anchor_, cursor_) - SelectionStart() <= copyLimit_)
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

QString ConsoleArea::SelectedText() const
{
    return FromCodePage(Text().Between(std::min(anchor_, cursor_), std::max(anchor_, cursor_)));
}

QString ConsoleArea::PlainText() const { return FromCodePage(Text().Between(TextPosition(), Text().End())); }

void ConsoleArea::Copy()
{
    const TextPosition from = std::min(anchor_, cursor_);
    const TextPosition to = std::max(anchor_, cursor_);
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
    export_ = SaveInsteadOfCopy(Text(), from, to, *exportDialogs_, this);
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
        OfferPrimarySelection();
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
    const TextPosition at = PositionAt(event->position());
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
    const TextPosition at = PositionAt(event->position(), true);
    const ConsoleText::Line line = Text().LineAt(Text().LineOf(at));
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
    QMenu menu(this);
    menu.addActions({copy_, selectAll_});
    menu.addSeparator();
    menu.addAction(find_);
    menu.exec(event->globalPos());
}

void ConsoleArea::ShowFind()
{
    findBar_->Open();
    PlaceBars();
}

TextPosition ConsoleArea::TopOfView() const { return Text().LineAt(FirstLineShown()).start; }

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

bool ConsoleArea::Find(TextPosition from, bool forward)
{
    // Text with a character that the console's code page lacks is nowhere
    // in it.
    const std::optional<std::string> typed = findBar_->Typed();
    needle_ = typed ? FoldCase(*typed) : std::string();
    viewport()->update();
    if (findBar_->Empty()) {
        findBar_->ShowOutcome(FindBar::Outcome::Nothing);
        return false;
    }
    const std::optional<TextPosition> at = typed ? Text().Find(needle_, from, forward) : std::nullopt;
    if (!at) {
        findBar_->ShowOutcome(FindBar::Outcome::NotFound);
        return false;
    }
    const bool wrapped = forward ? *at < from : *at >= from;
    findBar_->ShowOutcome(!wrapped  ? FindBar::Outcome::Found
                          : forward ? FindBar::Outcome::FromTheTop
                                    : FindBar::Outcome::FromTheBottom);
    Select(*at, *at + needle_.size());
    ScrollIntoView(*at);
    return true;
}

void ConsoleArea::ScrollIntoView(TextPosition position)
{
    CatchUp();  // the place may be in text not yet shown
    const LineNumber line = Text().LineOf(position);
    const LineNumber first = FirstLineShown();
    const std::uint64_t rows = std::uint64_t(RowsShown());
    if (line < first || line >= first + rows)
        verticalScrollBar()->setValue(
            int(std::min<std::uint64_t>(INT_MAX, line.value > rows / 2 ? line.value - rows / 2 : 0)));
    const std::uint64_t column = position - Text().LineAt(line).start;
    QScrollBar* h = horizontalScrollBar();
    if (column < std::uint64_t(h->value()) || column + needle_.size() > std::uint64_t(h->value() + ColumnsShown()))
        h->setValue(int(std::min<std::uint64_t>(INT_MAX, column > kFoundContext ? column - kFoundContext : 0)));
}

}  // namespace quillon
