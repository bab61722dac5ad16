// The console: a read-only view of a ConsoleDocument, coloured text that only
// ever grows at its end, for weeks of frame reports.
//
// Only the lines in view are laid out and painted, in the fixed-pitch font,
// one character cell per byte. While the view is at the bottom it follows
// the newest text; scrolled up, it stays where it is and a button at its
// foot, below the last line, counts the reports that arrived below (End,
// Ctrl+End, the button or scrolling to the bottom follow again).
//
// A report goes into the document at once, but the view shows new text at
// most every kPaintInterval: a busy channel brings hundreds of reports a
// second, and painting each would cost far more than storing it. The scroll
// bars and the cue catch up at the same moment; whatever the user does
// (scrolling, keys, selecting, resizing) is painted at once.
//
// The user selects with the mouse (Shift extends, a double click takes a
// word), copies with Ctrl+C or the context menu, selects everything with
// Ctrl+A (a selection too large for the clipboard is offered to be saved to
// a file instead: console_export.h), scrolls with the keys, the wheel (with
// Shift sideways) and the scroll bars, and finds text with Ctrl+F, F3 and
// Shift+F3 (find_bar.h).
// While a mouse button is down in the view, the view holds still, so that a
// drag selects what the user sees; the reports arriving meanwhile are
// counted by the button. A click that selects nothing lets a view that was
// following follow again; a selection keeps the view where it is until the
// user follows again. A selection made with the mouse or Ctrl+A also becomes
// the primary selection (middle-click paste).
//
// The reports' colours are made for a light background; on a dark one (a
// dark desktop theme) they are lightened until they read well on it. A
// watched station's address line has a background of its own.
//
// Every character has a cell of the font's own advance, a real number of
// pixels: painting, clicks, the selection and the found text all use the one
// grid of CellX and ColumnAt.
//
// The work is split by job: console_area.cpp (following, scrolling, keys,
// the bars at the foot), console_paint.cpp (the font, the grid, painting),
// console_selection.cpp (selecting, copying, finding).
#pragma once

#include <QAbstractScrollArea>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRawFont>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console_export.h"
#include "find_bar.h"
#include "text/console.h"
#include "text/console_document.h"

namespace quillon {

// `colour` made lighter in its hue, as little as needed to read well on a
// dark `background`.
QColor ReadableOn(QColor colour, const QColor& background);

// The background behind a watched station's address line in the console, and
// behind its rows in the packet list: light or dark as the palette's base.
QColor WatchedBackground(const QPalette& palette);

class ConsoleArea : public QAbstractScrollArea, private ConsoleDocument::Listener {
public:
    // Shows `document`, which the view keeps as long as it lives.
    explicit ConsoleArea(std::shared_ptr<ConsoleDocument> document, QWidget* parent = nullptr);
    // A save of the text under way is cancelled without a word: a view goes
    // with its window, and no dialog may come up then.
    ~ConsoleArea() override;

    // How long new text may wait before it is shown.
    static constexpr std::chrono::milliseconds kPaintInterval{33};
    // Pixels between the view's left edge and the first column.
    static constexpr int kMargin = 4;
    // Shows the text that waits at once, for what needs the scroll bars'
    // range up to date.
    void CatchUp();

    const ConsoleText& Text() const { return document_->Text(); }
    // The text as shown, lines ended with "\n".
    QString PlainText() const;
    QString SelectedText() const;
    TextPosition SelectionStart() const { return std::min(anchor_, cursor_); }
    void Select(TextPosition from, TextPosition to);
    void SelectAll();
    void Copy();
    // The largest selection that Copy puts on the clipboard, in bytes of
    // console text, and the dialogs that a larger one brings up: both can be
    // changed for tests (the dialogs not while a save runs).
    static constexpr std::uint64_t kCopyLimit = 32 * 1024 * 1024;
    void SetCopyLimit(std::uint64_t bytes) { copyLimit_ = bytes; }
    void SetExportDialogs(std::unique_ptr<ExportDialogs> dialogs) { exportDialogs_ = std::move(dialogs); }
    // While a selection too large to copy is being saved.
    bool Saving() const { return export_ != nullptr && export_->Running(); }

    // Opens the find bar; finds the text of the find bar again, forward or
    // backward, going round at the ends; false when it is nowhere.
    void ShowFind();
    bool FindAgain(bool forward);

    bool Following() const { return following_; }
    std::uint64_t UnseenReports() const { return unseen_; }
    // The cue's text for `unseen` reports below the view (the packet list
    // counts its rows with it too).
    static QString CueText(std::uint64_t unseen);
    const QPushButton* Cue() const { return cue_; }
    QLineEdit* FindField() const { return findBar_->Field(); }
    const QLabel* FindStatus() const { return findBar_->Status(); }
    LineNumber FirstLineShown() const;

    // A colour value as painted now: a system colour from the palette, and
    // on a dark background every colour lightened to read well on it.
    QColor Resolve(std::uint32_t colour) const;
    // Copy, Select All, Find, Find Next, Find Previous: for a window's Edit
    // menu, with their keys.
    QList<QAction*> EditActions() const { return {copy_, selectAll_, find_, findNext_, findPrevious_}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the document tells.
    void LinesAdded(const ConsoleDocument::Added& added) override;
    void Cleared() override;

    void AddActions();
    void MeasureFont();
    int RowsShown() const;
    int ColumnsShown() const;
    void UpdateScrollBars();
    void Follow();
    // A selection that the clipboard would take becomes the primary selection.
    void OfferPrimarySelection();
    // Shows the text added since the last time: scroll bars, cue and paint.
    void ShowNewText();
    void OnScrolled();
    // Lays out the foot of the view: the cue's strip and the find bar.
    void PlaceBars();
    void CloseFind();
    // The left edge of the cell of `column` (from a line's start) in the
    // view, and the column (a real number: whole at cell edges) at `x`.
    qreal CellX(std::size_t column) const;
    qreal ColumnAt(qreal x) const;
    // Holds the view still while a mouse button is down in it.
    void HoldView();
    void ReleaseView();
    // Finds the find bar's text at or behind `from`, or before it.
    bool Find(TextPosition from, bool forward);
    TextPosition TopOfView() const;
    void ScrollIntoView(TextPosition position);
    // The place between two characters nearest to `point`, or (`cell`) the
    // character under it.
    TextPosition PositionAt(QPointF point, bool cell = false) const;
    void PaintLine(QPainter& painter, const ConsoleText::Line& line, int y);
    void DrawCells(QPainter& painter, std::string_view text, std::size_t column, qreal baseline);

    std::shared_ptr<ConsoleDocument> document_;
    bool following_ = true;
    std::uint64_t unseen_ = 0;
    QTimer newText_;           // runs while added text waits to be shown
    LineNumber firstNewLine_;  // the first line changed since it was shown
    TextPosition anchor_;      // the selection: from anchor_ to cursor_
    TextPosition cursor_;
    std::string needle_;  // the text last searched for, in lower case
    bool held_ = false;   // a mouse button is down in the view
    bool followedBeforeHold_ = false;
    qreal advance_ = 8;  // the width of a cell
    int lineHeight_ = 16;
    int ascent_ = 12;
    // The font's glyphs of printable ASCII, drawn a run at a time, each
    // glyph placed at its cell.
    static constexpr char kFirstPrintable = 0x20;
    static constexpr char kPastPrintable = 0x7F;
    QRawFont rawFont_;
    std::array<quint32, kPastPrintable - kFirstPrintable> asciiGlyphs_{};

    std::uint64_t copyLimit_ = kCopyLimit;
    std::unique_ptr<ExportDialogs> exportDialogs_ = MakeExportDialogs();
    QPointer<ConsoleExport> export_;

    QPushButton* cue_ = nullptr;
    FindBar* findBar_ = nullptr;
    QAction* copy_ = nullptr;
    QAction* selectAll_ = nullptr;
    QAction* find_ = nullptr;
    QAction* findNext_ = nullptr;
    QAction* findPrevious_ = nullptr;
    int sidewaysDelta_ = 0;  // wheel turned with Shift, not yet a whole column
    // The colours painted with this palette, as Resolve made them.
    mutable std::vector<std::pair<std::uint32_t, QColor>> resolved_;
};

}  // namespace quillon
