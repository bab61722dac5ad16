#include "text_areas.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

#include "text/codepage.h"

namespace quillon {

QString FromCodePage(std::string_view bytes)
{
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (const char c : bytes)
        out.append(QChar(Windows1252ToUnicode(static_cast<std::uint8_t>(c))));
    return out;
}

QString ToDisplayText(std::string_view bytes)
{
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b == '\r' || b == '\n') {
            if (b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            out.append(QChar('\n'));
        } else {
            out.append(QChar(Windows1252ToUnicode(b)));
        }
    }
    return out;
}

ConsoleArea::ConsoleArea(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Read-only areas hide the insertion point; the user still moves it by
    // clicking, and that is where the next text goes.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

QColor ConsoleArea::Resolve(std::uint32_t colour) const
{
    if (colour & colour::kSystemColourFlag) {
        // Only the grey (disabled) text colour is in use.
        return palette().color(QPalette::Disabled, QPalette::Text);
    }
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

void ConsoleArea::Insert(QTextCursor& cursor, std::string_view text, std::uint32_t colour)
{
    if (text.empty())
        return;
    // The insertion point is the start of whatever the user selected; the
    // selection itself is left alone.
    cursor.setPosition(cursor.selectionStart());
    QTextCharFormat format;
    format.setForeground(Resolve(colour));
    cursor.insertText(ToDisplayText(text), format);
}

void ConsoleArea::AddText(std::string_view text, std::uint32_t colour)
{
    if (text.empty())
        return;
    if (batchDepth_ > 0) {
        pending_.push_back({std::string(text), colour});
        return;
    }
    QTextCursor cursor = textCursor();
    Insert(cursor, text, colour);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void ConsoleArea::AddRuns(const std::vector<ConsoleRun>& runs)
{
    if (batchDepth_ > 0)
        pending_.insert(pending_.end(), runs.begin(), runs.end());
    else
        InsertRuns(runs);
}

ConsoleArea::Batch::~Batch()
{
    if (--area_.batchDepth_ > 0 || area_.pending_.empty())
        return;
    std::vector<ConsoleRun> runs;
    runs.swap(area_.pending_);
    area_.InsertRuns(runs);
}

void ConsoleArea::InsertRuns(const std::vector<ConsoleRun>& runs)
{
    QTextCursor cursor = textCursor();
    const int before = cursor.selectionStart();
    cursor.beginEditBlock();
    // Neighbouring runs of one colour go in as one piece of text: the same
    // characters in the same format, in fewer steps.
    std::string merged;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::uint32_t colour = runs[i].colour;
        if (i + 1 < runs.size() && runs[i + 1].colour == colour) {
            merged.assign(runs[i].text);
            while (i + 1 < runs.size() && runs[i + 1].colour == colour)
                merged += runs[++i].text;
            Insert(cursor, merged, colour);
        } else {
            Insert(cursor, runs[i].text, colour);
        }
    }
    cursor.endEditBlock();
    if (cursor.position() == before)
        return;
    setTextCursor(cursor);
    ensureCursorVisible();
}

StatusBox::StatusBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette p = palette();
    p.setColor(QPalette::Text, QColor(128, 128, 128));
    p.setColor(QPalette::Base, p.color(QPalette::Window));
    setPalette(p);
}

void StatusBox::AppendLine(std::string_view line)
{
    text_.append(line);
    text_.append("\r\n");
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToDisplayText(line) + QChar('\n'));
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void StatusBox::Clear()
{
    if (text_.empty())
        return;
    text_.clear();
    clear();
}

}  // namespace quillon
