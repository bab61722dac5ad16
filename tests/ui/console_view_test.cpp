// The console as the user meets it, offscreen through the real widget: its mouse, keys and bars.
#include <QClipboard>
#include <QFontDatabase>
#include <QScrollBar>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>

#include "poll_until.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

// A mouse event on the console's view at `at`, with `held` down afterwards.
void Mouse(ConsoleArea& area, QEvent::Type type, QPointF at, Qt::MouseButtons held)
{
    QWidget* view = area.viewport();
    QMouseEvent event(type, at, view->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

void Drag(ConsoleArea& area, QPointF from, QPointF to)
{
    Mouse(area, QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(area, QEvent::MouseMove, to, Qt::LeftButton);
    Mouse(area, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

qreal Advance(const ConsoleArea& area) { return QFontMetricsF(area.font()).horizontalAdvance(QLatin1Char('M')); }
int LineHeight(const ConsoleArea& area) { return QFontMetrics(area.font()).lineSpacing(); }

// The glyphs of one row of a grabbed view, left to right, and the pixels the selection covers.
struct Row {
    struct Glyph {
        int left, right;
        qreal Centre() const { return (left + right + 1) / 2.0; }
    };
    std::vector<Glyph> glyphs;
    int selectionLeft = INT_MAX, selectionRight = -1;
};

const QColor kInk(0, 0, 0), kHighlight(0, 0, 255), kHighlightedInk(255, 255, 0);

Row Grab(ConsoleArea& area, int row)
{
    const int height = LineHeight(area);
    const QImage image = area.viewport()->grab(QRect(0, row * height, area.viewport()->width(), height)).toImage();
    Row found;
    for (int x = 0; x < image.width(); ++x) {
        bool ink = false, selectedInk = false, highlight = false;
        for (int y = 0; y < image.height(); ++y) {
            const QColor c(image.pixel(x, y));
            ink |= c == kInk;
            selectedInk |= c == kHighlightedInk;
            highlight |= c == kHighlight || c == kHighlightedInk;
        }
        if (highlight) {
            found.selectionLeft = std::min(found.selectionLeft, x);
            found.selectionRight = x;
        }
        if (!ink && !selectedInk)
            continue;
        if (!found.glyphs.empty() && found.glyphs.back().right == x - 1)
            found.glyphs.back().right = x;
        else
            found.glyphs.push_back({x, x});
    }
    return found;
}

// 300 glyphs of a fractional advance, which a grid of whole pixels drifts away from: a drag across each
// selects it alone, on a box over it alone.
TEST(ConsoleView, EveryColumnIsDrawnClickedAndSelectedOnOneGrid)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleStrategy(QFont::NoAntialias);  // glyphs in the text colours only
    bool fractional = false;
    for (const qreal size : {9.0, 8.0, 10.0, 11.0, 7.5, 12.5}) {
        font.setPointSizeF(size);
        const qreal fraction = std::fmod(QFontMetricsF(font).horizontalAdvance(QLatin1Char('M')), 1.0);
        if ((fractional = fraction > 0.1 && fraction < 0.9))
            break;
    }
    ASSERT_TRUE(fractional) << "no size of " << font.family().toStdString() << " with a fractional advance";
    const int columns = 300;
    Shown shown(int(columns * QFontMetricsF(font).horizontalAdvance(QLatin1Char('M'))) + 60, 120);
    ConsoleArea& area = shown.area;
    area.setFont(font);
    QPalette palette = area.palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, kHighlight);
    palette.setColor(QPalette::HighlightedText, kHighlightedInk);
    area.setPalette(palette);
    shown.doc.AddText(std::string(columns, '|'), colour::Black);
    ASSERT_EQ(area.horizontalScrollBar()->maximum(), 0) << "the whole line is in view";

    const Row drawn = Grab(area, 0);
    ASSERT_EQ(drawn.glyphs.size(), std::size_t(columns));
    const qreal quarter = Advance(area) / 4;
    const qreal middle = LineHeight(area) / 2.0;
    std::vector<int> wrong;
    for (int c = 0; c < columns; ++c) {
        const Row::Glyph& glyph = drawn.glyphs[std::size_t(c)];
        Drag(area, {glyph.Centre() - quarter, middle}, {glyph.Centre() + quarter, middle});
        const Row selected = Grab(area, 0);
        const bool covers = selected.selectionLeft <= glyph.left && selected.selectionRight >= glyph.right &&
                            (c == 0 || selected.selectionLeft > drawn.glyphs[std::size_t(c - 1)].right) &&
                            (c == columns - 1 || selected.selectionRight < drawn.glyphs[std::size_t(c + 1)].left);
        if (area.SelectionStart() != TextPosition(std::uint64_t(c)) || area.SelectedText() != "|" || !covers)
            wrong.push_back(c);
    }
    EXPECT_EQ(wrong, std::vector<int>{}) << "columns whose click or selection box misses the drawn glyph";
}

// The horizontal bar ends where the longest line's end is in view, and moves the text its way.
TEST(ConsoleView, TheHorizontalBarReachesTheEndOfTheLongestLineAndMovesTheTextItsWay)
{
    Shown shown(400, 200);
    ConsoleArea& area = shown.area;
    AddLines(shown.doc, area, "short", 5);
    const TextPosition longStart = area.Text().End();
    shown.doc.AddText(std::string(300, '0') + "\r", colour::Black);
    AddLines(shown.doc, area, "short", 5);
    area.verticalScrollBar()->setValue(0);
    QScrollBar& bar = *area.horizontalScrollBar();
    QApplication::processEvents();  // the bars are shown or hidden after their range changed
    ASSERT_TRUE(bar.isVisible());
    const qreal row = 5.5 * LineHeight(area);  // the long line
    const auto placeAt = [&](qreal x) {
        Mouse(area, QEvent::MouseButtonPress, {x, row}, Qt::LeftButton);
        Mouse(area, QEvent::MouseButtonRelease, {x, row}, Qt::NoButton);
        return int(area.SelectionStart() - longStart);
    };
    const qreal left = 4 + Advance(area) / 4;
    const qreal right = area.viewport()->width() - 1;

    EXPECT_EQ(placeAt(left), 0);
    bar.setValue(bar.maximum());
    EXPECT_EQ(placeAt(left), bar.maximum());
    EXPECT_EQ(placeAt(right), 300) << "the line's end is in view";
    EXPECT_EQ(bar.maximum(), 300 - int((area.viewport()->width() - 4) / Advance(area)));
}

// A drag while reports arrive selects what was seen: the view holds still while the button is down, the
// cue counts the reports; a click that selects nothing lets the view follow.
TEST(ConsoleView, ADragWhileReportsArriveSelectsWhatIsSeen)
{
    Shown shown;
    ConsoleArea& area = shown.area;
    AddLines(shown.doc, area, "line", 300);
    ASSERT_TRUE(area.Following());
    const LineNumber first = area.FirstLineShown();
    const int height = LineHeight(area);
    std::string seen;
    for (LineNumber line = first + 1; line <= first + 3; line = line + 1)
        seen += std::string(area.Text().LineAt(line).text) + (line < first + 3 ? "\n" : "");

    Mouse(area, QEvent::MouseButtonPress, {1, 1.5 * height}, Qt::LeftButton);
    AddLines(shown.doc, area, "report", 40);
    Mouse(area, QEvent::MouseMove, {area.viewport()->width() - 1.0, 3.5 * height}, Qt::LeftButton);
    AddLines(shown.doc, area, "report", 40);
    Mouse(area, QEvent::MouseMove, {area.viewport()->width() - 1.0, 3.5 * height}, Qt::LeftButton);
    Mouse(area, QEvent::MouseButtonRelease, {area.viewport()->width() - 1.0, 3.5 * height}, Qt::NoButton);
    EXPECT_EQ(area.SelectedText().toStdString(), seen);
    EXPECT_EQ(area.FirstLineShown(), first);
    EXPECT_EQ(area.UnseenReports(), 80u);
    EXPECT_TRUE(area.Cue()->isVisible());
    EXPECT_FALSE(area.Following()) << "a selection keeps the view where it is";

    QTest::keyClick(&area, Qt::Key_End);
    ASSERT_TRUE(area.Following());
    Mouse(area, QEvent::MouseButtonPress, {1, 1.5 * height}, Qt::LeftButton);
    AddLines(shown.doc, area, "report", 3);
    Mouse(area, QEvent::MouseButtonRelease, {1, 1.5 * height}, Qt::NoButton);
    QScrollBar& bar = *area.verticalScrollBar();
    EXPECT_TRUE(area.Following() && bar.value() == bar.maximum() && !area.Cue()->isVisible());
}

// Under X (the offscreen platform has none), what the mouse selected is the primary selection.
TEST(ConsoleView, AMouseSelectionIsThePrimarySelection)
{
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard->supportsSelection())
        GTEST_SKIP() << "this platform has no primary selection";
    Shown shown;
    ConsoleArea& area = shown.area;
    AddLines(shown.doc, area, "line", 3);
    area.verticalScrollBar()->setValue(0);
    clipboard->setText(QStringLiteral("before"), QClipboard::Selection);
    const int height = LineHeight(area);
    Drag(area, {1, 1.5 * height}, {4 + 4 * Advance(area), 1.5 * height});
    ASSERT_EQ(area.SelectedText(), "line");
    EXPECT_TRUE(PollUntil([&] { return clipboard->text(QClipboard::Selection) == "line"; }, 5s));
}

}  // namespace
}  // namespace quillon::test
