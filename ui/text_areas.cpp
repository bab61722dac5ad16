#include "text_areas.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "text/codepage.h"
#include "text/lines.h"

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
    const std::vector<std::string_view> lines = SplitLines(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += FromCodePage(lines[i]);
        if (i + 1 < lines.size() || bytes.back() == '\r' || bytes.back() == '\n')
            out.append(QChar('\n'));
    }
    return out;
}

std::optional<std::string> ToCodePage(const QString& text)
{
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (const QChar c : text) {
        int byte = 0;
        while (byte < 256 && Windows1252ToUnicode(std::uint8_t(byte)) != c.unicode())
            ++byte;
        if (byte == 256)
            return std::nullopt;
        out.push_back(char(byte));
    }
    return out;
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
    line = line.substr(0, kTextLimit);
    text_.append(line);
    text_.append("\r\n");
    if (text_.size() > 2 * kTextLimit) {
        // The oldest whole lines go; the box is laid out anew once for every
        // kTextLimit appended, which keeps the cost of a line in proportion
        // to the line.
        std::size_t cut = 0;
        while (text_.size() - cut > kTextLimit)
            cut = text_.find("\r\n", cut) + 2;
        text_.erase(0, cut);
        text_.shrink_to_fit();
        setPlainText(ToDisplayText(text_));
    } else {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(ToDisplayText(line) + QChar('\n'));
    }
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void StatusBox::Clear()
{
    if (text_.empty())
        return;
    std::string().swap(text_);
    clear();
}

QSize ElidingLabel::sizeHint() const
{
    QSize size = QLabel::sizeHint();
    size.setWidth(std::max(size.width(), room_));
    return size;
}

QSize ElidingLabel::minimumSizeHint() const
{
    QSize size = QLabel::minimumSizeHint();
    size.setWidth(fontMetrics().horizontalAdvance(QStringLiteral("M\u2026")));
    return size;
}

void ElidingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect room = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
    setToolTip(shown == text() ? QString() : text());
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}

}  // namespace quillon
