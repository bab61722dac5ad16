#include "console_area.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <climits>

namespace quillon {

ConsoleArea::ConsoleArea(std::shared_ptr<ConsoleDocument> document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(std::move(document))
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
    cue_->setFocusPolicy(Qt::NoFocus);
    cue_->hide();
    cue_->installEventFilter(this);
    // The keys go on to the view, wherever the focus was.
    connect(cue_, &QPushButton::clicked, this, [this] {
        Follow();
        setFocus(Qt::OtherFocusReason);
    });

    findBar_ = new FindBar(kMargin, this);
    connect(findBar_, &FindBar::FindAgain, this, [this](bool forward) { FindAgain(forward); });
    // Typing finds on from where the last find stood, that place included.
    connect(findBar_, &FindBar::Edited, this,
            [this] { Find(anchor_ != cursor_ ? SelectionStart() : TopOfView(), true); });
    AddActions();
    copy_->setEnabled(false);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { OnScrolled(); });
    UpdateScrollBars();

    newText_.setSingleShot(true);
    newText_.setInterval(kPaintInterval);
    connect(&newText_, &QTimer::timeout, this, [this] { ShowNewText(); });
    document_->Watch(*this);
}

ConsoleArea::~ConsoleArea()
{
    // The save goes with the view, its file unfinished and removed, and
    // nobody told.
    delete export_.data();
    document_->Unwatch(*this);
}

LineNumber ConsoleArea::FirstLineShown() const { return LineNumber(std::uint64_t(verticalScrollBar()->value())); }

int ConsoleArea::RowsShown() const { return std::max(1, viewport()->height() / lineHeight_); }

int ConsoleArea::ColumnsShown() const { return std::max(1, int((viewport()->width() - kMargin) / advance_)); }

void ConsoleArea::LinesAdded(const ConsoleDocument::Added& added)
{
    if (!following_)
        unseen_ += added.reports;
    // The first report after a paint starts the wait; those behind it only
    // go into the text.
    if (!newText_.isActive()) {
        firstNewLine_ = added.firstChanged;
        newText_.start();
    }
}

void ConsoleArea::ShowNewText()
{
    if (!following_ && unseen_ > 0) {
        cue_->setText(CueText(unseen_));
        cue_->adjustSize();
        PlaceBars();
        cue_->show();
    }
    UpdateScrollBars();
    // Text behind the view needs no painting.
    if (following_ || firstNewLine_ < FirstLineShown() + std::uint64_t(RowsShown()) + 1)
        viewport()->update();
}

QString ConsoleArea::CueText(std::uint64_t unseen)
{
    return QStringLiteral("%1 new report%2 below \u25BC").arg(unseen).arg(unseen == 1 ? "" : "s");
}

void ConsoleArea::CatchUp()
{
    if (newText_.isActive()) {
        newText_.stop();
        ShowNewText();
    }
}

void ConsoleArea::Cleared()
{
    anchor_ = cursor_ = TextPosition();
    copy_->setEnabled(false);
    unseen_ = 0;
    cue_->hide();
    following_ = true;
    UpdateScrollBars();
    viewport()->update();
    if (Saving())
        export_->Abandon(QStringLiteral("The console was cleared before it was saved: nothing was saved."));
}

void ConsoleArea::UpdateScrollBars()
{
    const std::uint64_t rows = std::uint64_t(RowsShown());
    const std::uint64_t lines = Text().LineCount();
    QScrollBar* v = verticalScrollBar();
    v->setPageStep(int(rows));
    v->setRange(0, int(std::min<std::uint64_t>(INT_MAX, lines > rows ? lines - rows : 0)));
    if (following_)
        v->setValue(v->maximum());
    QScrollBar* h = horizontalScrollBar();
    const int columns = ColumnsShown();
    h->setPageStep(columns);
    h->setRange(0, std::max(0, int(std::min<std::size_t>(INT_MAX, Text().LongestLine())) - columns));
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

void ConsoleArea::wheelEvent(QWheelEvent* event)
{
    // Shift turns the wheel sideways, as in terminals and browsers (the
    // scroll bar's own Shift would page up and down), a few columns a notch.
    if (!(event->modifiers() & Qt::ShiftModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    constexpr int kNotch = 120;  // QWheelEvent's eighths of a degree
    const QPoint delta = event->angleDelta();
    sidewaysDelta_ += delta.x() != 0 ? delta.x() : delta.y();
    const int perNotch = std::max(1, QApplication::wheelScrollLines());
    const int columns = sidewaysDelta_ * perNotch / kNotch;
    sidewaysDelta_ -= columns * kNotch / perNotch;
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - columns);
    event->accept();
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

}  // namespace quillon
