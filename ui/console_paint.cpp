// The console's font, its grid of cells and its painting.
#include <QEvent>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "console_area.h"
#include "text/codepage.h"

namespace quillon {

namespace {

// Behind the text that the find bar found, and behind a watched station's
// address line: on a light background, and on a dark one.
const QColor kFoundBackground(255, 230, 120);
const QColor kFoundBackgroundDark(110, 90, 20);
const QColor kWatchedBackground(190, 225, 255);
const QColor kWatchedBackgroundDark(20, 70, 110);

// The contrast that text needs on its background to read well (the W3C's
// 4.5:1 for body text).
constexpr qreal kReadableContrast = 4.5;

// The red, green or blue of an RGB colour value (0x00BBGGRR).
int Channel(std::uint32_t colour, int shift) { return int((colour >> shift) & 0xFF); }

bool IsDark(const QColor& background) { return background.lightnessF() < 0.5; }

// The W3C's relative luminance of an sRGB colour, 0 (black) to 1 (white).
qreal Luminance(const QColor& c)
{
    const auto linear = [](qreal v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

qreal Contrast(const QColor& a, const QColor& b)
{
    const qreal la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QColor ReadableOn(QColor colour, const QColor& background)
{
    // Lighter in the same hue until it stands out; white at the last.
    int lightness = colour.lightness();
    while (Contrast(colour, background) < kReadableContrast && lightness < 255) {
        lightness = std::min(255, lightness + 8);
        colour = QColor::fromHsl(colour.hslHue(), colour.hslSaturation(), lightness);
    }
    return colour;
}

QColor ConsoleArea::Resolve(std::uint32_t colour) const
{
    for (const auto& [value, resolved] : resolved_)
        if (value == colour)
            return resolved;
    // The view's palette: a style sheet may give it colours of its own.
    const QPalette& palette = viewport()->palette();
    const QColor background = palette.color(QPalette::Base);
    QColor resolved;
    if (colour == colour::DisabledText)
        resolved = palette.color(QPalette::Disabled, QPalette::Text);
    else if (colour == colour::WatchedAddress || (colour == colour::Black && IsDark(background)))
        resolved = palette.color(QPalette::Text);
    else
        resolved = QColor(Channel(colour, 0), Channel(colour, 8), Channel(colour, 16));
    // The report's colours as they are on a light background; on a dark one
    // each lightened to read (the disabled grey is meant to be faint).
    if (IsDark(background) && colour != colour::DisabledText)
        resolved = ReadableOn(resolved, colour == colour::WatchedAddress ? kWatchedBackgroundDark : background);
    resolved_.emplace_back(colour, resolved);
    return resolved;
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
    for (char16_t c = kFirstPrintable; c < kPastPrintable; ++c)
        ascii.append(QChar(c));
    const QList<quint32> glyphs = rawFont_.isValid() ? rawFont_.glyphIndexesForString(ascii) : QList<quint32>();
    if (glyphs.size() != qsizetype(asciiGlyphs_.size()) ||
        std::any_of(glyphs.begin(), glyphs.end(), [](quint32 glyph) { return glyph == 0; })) {
        rawFont_ = QRawFont();  // a font without them: every character is drawn on its own
        return;
    }
    std::copy(glyphs.begin(), glyphs.end(), asciiGlyphs_.begin());
}

bool ConsoleArea::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        resolved_.clear();
    return QAbstractScrollArea::viewportEvent(event);
}

void ConsoleArea::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        MeasureFont();
        UpdateScrollBars();
    }
    QAbstractScrollArea::changeEvent(event);
}

qreal ConsoleArea::CellX(std::size_t column) const
{
    return kMargin + (qreal(column) - horizontalScrollBar()->value()) * advance_;
}

qreal ConsoleArea::ColumnAt(qreal x) const { return (x - kMargin) / advance_ + horizontalScrollBar()->value(); }

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

    // A watched station's address, found text, then the selection (to the
    // line's end when it goes on).
    const auto colours = line.colours;
    const std::uint64_t lineInChunk = line.start - line.chunkStart;
    const QPalette& palette = viewport()->palette();
    const bool dark = IsDark(palette.color(QPalette::Base));
    // The whole row of a watched station's address line, beyond its text, so
    // that it stands out at a glance.
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const bool inLine = colours[i].offset < lineInChunk + text.size() &&
                            (i + 1 == colours.size() || colours[i + 1].offset > lineInChunk);
        if (colours[i].colour == colour::WatchedAddress && inLine) {
            painter.fillRect(QRect(0, y, viewport()->width(), lineHeight_),
                             dark ? kWatchedBackgroundDark : kWatchedBackground);
            break;
        }
    }
    if (!needle_.empty()) {
        const std::string lower = FoldCase(text);
        for (std::size_t at = lower.find(needle_); at != std::string::npos; at = lower.find(needle_, at + 1))
            painter.fillRect(cells(at, at + needle_.size()), dark ? kFoundBackgroundDark : kFoundBackground);
    }
    const auto cell = [&](TextPosition position) {  // the line break is the cell behind the text
        return std::size_t(std::clamp(position, line.start, line.start + (text.size() + 1)) - line.start);
    };
    const std::size_t selectedFrom = cell(std::min(anchor_, cursor_));
    const std::size_t selectedTo = cell(std::max(anchor_, cursor_));
    if (selectedFrom < selectedTo)
        painter.fillRect(cells(selectedFrom, selectedTo), palette.color(QPalette::Highlight));

    // The colour runs that the view shows, each cut where the selection
    // begins and ends.
    const QColor selectedText = palette.color(QPalette::HighlightedText);
    std::size_t change = 0;
    for (std::size_t column = from; column < to;) {
        while (change + 1 < colours.size() && colours[change + 1].offset <= lineInChunk + column)
            ++change;
        std::size_t end = to;
        if (change + 1 < colours.size())
            end = std::min<std::size_t>(end, colours[change + 1].offset - lineInChunk);
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
    // Printable ASCII is drawn a piece at a time; any other character on its
    // own in its cell, so that a glyph of another width, or one from another
    // font, cannot shift the columns.
    const bool plainAscii =
        std::all_of(text.begin(), text.end(), [](char c) { return c >= kFirstPrintable && c < kPastPrintable; });
    if (rawFont_.isValid() && plainAscii) {
        // One call for the run, each glyph at its own cell.
        QList<quint32> glyphs;
        QList<QPointF> positions;
        glyphs.reserve(qsizetype(text.size()));
        positions.reserve(qsizetype(text.size()));
        for (std::size_t i = 0; i < text.size(); ++i) {
            glyphs.append(asciiGlyphs_[std::size_t(text[i] - kFirstPrintable)]);
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
    const LineNumber first = FirstLineShown();
    const LineNumber last = std::min(LineNumber(Text().LineCount()), first + std::uint64_t(RowsShown()) + 1);
    for (LineNumber line = first; line < last; line = line + 1)
        PaintLine(painter, Text().LineAt(line), int(line - first) * lineHeight_);
}

QColor WatchedBackground(const QPalette& palette)
{
    return IsDark(palette.color(QPalette::Base)) ? kWatchedBackgroundDark : kWatchedBackground;
}

}  // namespace quillon
