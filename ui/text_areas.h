// The two running-text areas of the windows: the coloured console (also used
// by the statistics window) and the plain status box.
#pragma once

#include <QPlainTextEdit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/console.h"

namespace quillon {

// The program's 8-bit text (settings, captions, reports) as the windows show
// it: Windows-1252, byte for byte. Every label, caption and text area takes
// its text through here or through ToDisplayText.
QString FromCodePage(std::string_view bytes);

// Bytes from the line as the console draws them: Windows-1252, CR, LF and
// CR LF each one line break.
QString ToDisplayText(std::string_view bytes);

// A rich text area written with AddText. The text goes where the insertion
// point stands (where the user last clicked, normally the end), a selection
// the user made is kept, and the insertion point ends up behind the new text,
// scrolled into view.
class ConsoleArea : public QPlainTextEdit {
public:
    explicit ConsoleArea(QWidget* parent = nullptr);

    void AddText(std::string_view text, std::uint32_t colour);
    // Several AddText calls as one edit, scrolled into view once.
    void AddRuns(const std::vector<ConsoleRun>& runs);

    // While a Batch lives, AddRuns collects the runs, and the batch's end
    // inserts them all as one edit. One handler's reports land exactly where
    // they would have landed one by one (nothing moves the insertion point
    // before the handler returns), but the area lays out its newest lines,
    // scrolls and repaints once per handler instead of once per frame: on a
    // busy channel that is most of a frame's cost.
    class Batch {
    public:
        explicit Batch(ConsoleArea& area) : area_(area) { ++area_.batchDepth_; }
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        ConsoleArea& area_;
    };

    QColor Resolve(std::uint32_t colour) const;

private:
    void Insert(QTextCursor& cursor, std::string_view text, std::uint32_t colour);
    void InsertRuns(const std::vector<ConsoleRun>& runs);

    int batchDepth_ = 0;
    std::vector<ConsoleRun> pending_;  // collected by an open Batch
};

// The status box: plain grey text, messages appended as lines ending in
// CR LF. Appending costs time in proportion to the message, however long the
// box has grown.
class StatusBox : public QPlainTextEdit {
public:
    explicit StatusBox(QWidget* parent = nullptr);

    void AppendLine(std::string_view line);  // adds CR LF
    void Clear();
    // The whole text as the program wrote it, CR LF included.
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

}  // namespace quillon
