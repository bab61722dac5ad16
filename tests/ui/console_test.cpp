// The console offscreen through the real widget: mouse, keys, bars, colours, big copies; the status box.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLineEdit>
#include <QWheelEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

#include "poll_until.h"
#include "program.h"
#include "text_areas.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

// New reports leave a selection alone, and the view follows them only from the bottom.
TEST(Console, TheSelectionStaysAndTheViewFollowsOnlyFromTheBottom)
{
    Shown shown;
    auto& [document, doc, area] = shown;
    doc.AddText("Hello\r", colour::Red);
    area.Select(TextPosition(4), TextPosition(1));  // "ell", selected backwards
    QScrollBar& bar = *area.verticalScrollBar();
    AddLines(doc, area, "line", 300);
    EXPECT_TRUE(area.Following() && bar.value() == bar.maximum() && bar.maximum() > 250);
    bar.setValue(3);
    doc.AddReport(std::vector<ConsoleRun>{{"one\r", colour::Red}, {"more\r", colour::Blue}});
    doc.AddText("two\r", colour::Red);
    EXPECT_TRUE(QTest::qWaitFor([&] { return area.Cue()->isVisible(); }));
    EXPECT_EQ(area.SelectedText().toStdString() + ", " + std::to_string(area.FirstLineShown().value) + ", " +
                  area.Cue()->text().toStdString(),
              "ell, 3, 2 new reports below \u25BC");
    QTest::keyClick(&area, Qt::Key_End);
    EXPECT_TRUE(area.Following() && bar.value() == bar.maximum() && !area.Cue()->isVisible());

    // A double click takes the word under the pointer: "line" of the view's first line.
    bar.setValue(10);
    const QFontMetrics metrics(area.font());
    QTest::mouseDClick(area.viewport(), Qt::LeftButton, {},
                       QPoint(4 + 2 * metrics.horizontalAdvance('M'), metrics.lineSpacing() / 2));
    EXPECT_EQ(area.SelectedText(), "line");

    QTest::keyClick(&area, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&area, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), area.PlainText());
    doc.Clear();
    EXPECT_EQ(area.PlainText() + area.SelectedText(), "");
}

// Reports poured in faster than it paints: the last of them is painted in the end.
TEST(Console, ShowsTheLastOfReportsPouredIn)
{
    Shown shown;
    ConsoleArea& area = shown.area;
    struct PaintWatch : QObject {
        ConsoleArea* area = nullptr;
        std::uint64_t sizePainted = 0, lastLinePainted = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                sizePainted = area->Text().Size();
                lastLinePainted = area->FirstLineShown().value +
                                  std::uint64_t(area->viewport()->height() / QFontMetrics(area->font()).lineSpacing());
            }
            return false;
        }
    } watch;
    watch.area = &area;
    area.viewport()->installEventFilter(&watch);
    for (const auto& report : ReportRuns(Joined(ManyFrames(2000, 9)))) {
        shown.doc.AddReport(report);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return watch.sizePainted == area.Text().Size() && watch.lastLinePainted + 1 >= area.Text().LineCount();
    }));
}

// Ctrl+F, F3 and Shift+F3 go round the ends (finding across chunks is the text's own test).
TEST(Console, FindGoesRoundTheEndsInEitherDirectionAndSaysWhenNothingIsThere)
{
    Shown shown;
    auto& [document, doc, area] = shown;
    AddLines(doc, area, "line", 30);
    doc.AddText("cq de DL9XYZ\r", colour::Black);
    AddLines(doc, area, "line", 300);
    doc.AddText("dl9xyz-7 de N0CALL\r", colour::Black);
    AddLines(doc, area, "line", 30);
    const std::uint64_t rows = std::uint64_t(area.viewport()->height() / QFontMetrics(area.font()).lineSpacing());
    const auto step = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        if (key != Qt::Key_unknown)
            QTest::keyClick(&area, key, modifiers);
        const LineNumber at = area.Text().LineOf(area.SelectionStart());
        const bool inView = at >= area.FirstLineShown() && at < area.FirstLineShown() + rows;
        return area.SelectedText().toStdString() + "|" + area.FindStatus()->text().toStdString() +
               (inView ? "|shown" : "|not shown");
    };
    area.verticalScrollBar()->setValue(0);
    QTest::keyClick(&area, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(area.FindField()->hasFocus());
    QTest::keyClicks(area.FindField(), "Dl9xyz");
    EXPECT_EQ(step(Qt::Key_unknown), "DL9XYZ||shown");
    EXPECT_EQ(step(Qt::Key_F3), "dl9xyz||shown");
    EXPECT_EQ(step(Qt::Key_F3), "DL9XYZ|continued from the top|shown");
    EXPECT_EQ(step(Qt::Key_F3, Qt::ShiftModifier), "dl9xyz|continued from the bottom|shown");
    EXPECT_EQ(step(Qt::Key_F3, Qt::ShiftModifier), "DL9XYZ||shown");

    doc.Clear();

    // A character the code page lacks is nowhere, not the "?" the code page would put in its place.
    doc.AddText("Is anyone on frequency? QRV?\r", colour::Black);
    const std::tuple<QString, std::string> cases[] = {{QStringLiteral("QRV\u0151"), "QRV|not found"},  // "QRV" stays
                                                      {QStringLiteral("qrv?"), "QRV?|"}};
    for (const auto& [typed, expected] : cases) {
        area.Select(TextPosition(), TextPosition());
        area.FindField()->clear();
        for (const QChar c : typed)  // as typed, whatever the keyboard
            QTest::sendKeyEvent(QTest::Click, area.FindField(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        EXPECT_EQ(area.SelectedText().toStdString() + "|" + area.FindStatus()->text().toStdString(), expected)
            << typed.toStdString();
    }
}

TEST(StatusBox, KeepsOnlyItsLastLinesHoweverLong)
{
    StatusBox box;
    const std::size_t limit = StatusBox::kTextLimit;
    for (int i = 0; i < 300; ++i)  // ~60 times the limit, and lines longer than it
        box.AppendLine(std::string(i % 50 == 0 ? 3 * limit : 10'000, char('a' + i % 26)) + std::to_string(i));
    EXPECT_LE(std::size_t(box.document()->characterCount()), 2 * limit);
    EXPECT_TRUE(box.Text().ends_with(std::string(10, char('a' + 299 % 26)) + "299\r\n"));
}

using Choice = ExportDialogs::Choice;

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

// Copying more than the clipboard should hold: saved in slices to a file, as the clipboard would have had it.
TEST(ConsoleExport, ASelectionOverTheLimitIsSavedToAFileAsTheClipboardWouldHaveHadIt)
{
    const auto document = std::make_shared<ConsoleDocument>();
    ConsoleArea area(document);
    for (const auto& report : ReportRuns(Joined(ManyFrames(6000, 21))))
        document->AddReport(report);
    document->AddText("\x80 caf\xE9 \xC0\x9F\r", colour::Red);  // beyond ASCII: two and three bytes in UTF-8
    const std::uint64_t size = area.Text().Size();
    ASSERT_GT(size, 2 * ConsoleExport::kSliceBytes);  // several slices, several turns of the event loop
    const std::uint64_t part = size - 12345 - 777;

    enum class Expect { Clipboard, Selection, Whole, Nothing };
    // Everything selected or a part; a file name of "": the file dialog cancelled.
    struct Case {
        const char* what; std::uint64_t limit; bool everything; Choice choice; const char* file; Expect expect; std::string asked;
    };
    const std::string partAsked = std::to_string(part) + " bytes, or the whole; ";
    const Case cases[] = {
        {"at the limit, the clipboard", part, false, Choice::Selection, "", Expect::Clipboard, ""},
        {"the selection saved", part - 1, false, Choice::Selection, "1.txt", Expect::Selection,
         partAsked + "file name; "},
        {"the whole console saved", 1000, false, Choice::WholeConsole, "2.txt", Expect::Whole,
         partAsked + "file name; "},
        {"everything selected: no second offer", 1000, true, Choice::Selection, "3.txt", Expect::Whole,
         " bytes; file name; "},  // behind the size of the moment
        {"cancelled at the question", 1000, false, Choice::Cancel, "4.txt", Expect::Nothing, partAsked},
        {"cancelled at the file name", 1000, false, Choice::Selection, "", Expect::Nothing, partAsked + "file name; "},
    };
    QTemporaryDir dir;
    const auto filesThere = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(); };
    int saved = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dialogs = std::make_unique<AnsweringDialogs>(c.choice, *c.file ? dir.filePath(c.file) : QString());
        AnsweringDialogs& answers = *dialogs;
        area.SetExportDialogs(std::move(dialogs));
        area.SetCopyLimit(c.limit);
        if (c.everything)
            area.SelectAll();
        else
            area.Select(TextPosition(12345), TextPosition(12345 + part));
        const std::string selected = Utf8(area.SelectedText());
        const std::string whole = Utf8(area.PlainText());
        const std::string asked = c.everything ? std::to_string(area.Text().Size()) + c.asked : c.asked;
        QApplication::clipboard()->setText(QStringLiteral("as before"));

        area.Copy();
        if (c.expect == Expect::Selection || c.expect == Expect::Whole) {
            // The file gets its name only when all is written; a report that comes meanwhile is not in it.
            QCoreApplication::processEvents();  // one turn writes one slice, of several
            EXPECT_TRUE(area.Saving());
            EXPECT_FALSE(QFile::exists(answers.file));
            document->AddText("a report during the save\r", colour::Blue);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !area.Saving(); }, 30000));
        }
        EXPECT_EQ(answers.asked, asked);
        EXPECT_EQ(*answers.told, "");
        // Megabytes each: compared without printing them.
        EXPECT_TRUE(Utf8(QApplication::clipboard()->text()) == (c.expect == Expect::Clipboard ? selected : "as before"));
        const std::string expected = c.expect == Expect::Selection ? selected : c.expect == Expect::Whole ? whole : "";
        EXPECT_TRUE((answers.file.isEmpty() ? "" : ReadFile(answers.file.toStdString())) == expected);  // "": no file
        saved += expected.empty() ? 0 : 1;
        EXPECT_EQ(filesThere(), saved);  // and no temporary one left
    }

    // Clear Counter while a save runs: nothing saved, and the user told so.
    auto dialogs = std::make_unique<AnsweringDialogs>(Choice::WholeConsole, dir.filePath("cleared.txt"));
    AnsweringDialogs& cleared = *dialogs;
    area.SetExportDialogs(std::move(dialogs));
    area.SelectAll();
    area.Copy();
    ASSERT_TRUE(area.Saving());
    document->Clear();
    EXPECT_FALSE(area.Saving());
    EXPECT_EQ(*cleared.told, "The console was cleared before it was saved: nothing was saved.");
    EXPECT_TRUE(QTest::qWaitFor([&] { return filesThere() == saved; }));  // its temporary file gone too
    EXPECT_FALSE(QFile::exists(cleared.file));
}

// A mouse event on the console's view at `at`, with `held` down afterwards.
void Mouse(ConsoleArea& area, QEvent::Type type, QPointF at, Qt::MouseButtons held)
{
    QWidget* view = area.viewport();
    QMouseEvent event(type, at, view->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

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

// W3C relative luminance and contrast, to judge what a dark theme paints.
double Luminance(QColor c)
{
    const auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}
double Contrast(QColor a, QColor b)
{
    const double x = Luminance(a), y = Luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Each line painted in its run's colour, the separator in the palette's disabled-text colour of the moment;
// on a dark palette every report colour reads well on its line's background (a watched address on its own).
TEST(ConsoleView, EachLineIsPaintedInItsRunsColourAndReadsOnADarkPalette)
{
    Shown shown(400, 300);
    ConsoleArea& area = shown.area;
    QFont font = area.font();
    font.setStyleStrategy(QFont::NoAntialias);  // only the text's own colours in the image
    area.setFont(font);
    const std::uint32_t colours[] = {colour::Black, colour::Grey,   colour::Red,          colour::Green,
                                     colour::Blue,  colour::Purple, colour::DisabledText, colour::WatchedAddress};
    for (const std::uint32_t c : colours)
        shown.doc.AddText("MMMMMMMM\r", c);
    QPalette palette = area.palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(200, 0, 200));
    const auto look = [&] {  // each line's background, its most frequent pixel, and its ink, the farthest from it
        area.setPalette(palette);
        const QImage image = area.viewport()->grab().toImage();
        std::vector<std::pair<QColor, QColor>> lines;
        for (int top = 0; lines.size() < std::size(colours); top += LineHeight(area)) {
            std::map<QRgb, int> seen;
            for (int y = top; y < top + LineHeight(area); ++y)
                for (int x = 0; x < image.width() / 2; ++x)
                    ++seen[image.pixel(x, y)];
            const QColor background(std::max_element(seen.begin(), seen.end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
            QColor ink = background;
            for (const auto& [pixel, count] : seen)
                ink = Contrast(QColor(pixel), background) > Contrast(ink, background) ? QColor(pixel) : ink;
            lines.emplace_back(background, ink);
        }
        return lines;
    };
    std::string light;
    for (const auto& [background, ink] : look())
        light += ink.name().toStdString() + " ";
    EXPECT_EQ(light, "#000000 #808080 #ff0000 #008000 #0000ff #800080 #c800c8 #000000 ");
    palette.setColor(QPalette::Base, QColor(30, 30, 30));
    palette.setColor(QPalette::Text, QColor(220, 220, 220));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(160, 160, 160));
    const auto dark = look();
    for (std::size_t row = 0; row < std::size(colours); ++row) {
        EXPECT_GE(Contrast(dark[row].first, dark[row].second), 4.5) << "colour " << std::hex << colours[row];
        EXPECT_EQ(dark[row].first == QColor(30, 30, 30), colours[row] != colour::WatchedAddress) << std::hex << colours[row];
    }
}

// The cue gives the keys back to the view; Shift turns the wheel sideways; Ctrl+A is the primary selection too.
TEST(ConsoleView, TheCueShiftWheelAndSelectAllAsInATerminal)
{
    Shown shown;
    ConsoleArea& area = shown.area;
    QLineEdit elsewhere;  // where the focus was when the cue was clicked
    elsewhere.show();
    AddLines(shown.doc, area, std::string(300, 'w'), 100);
    QTest::keyClick(&area, Qt::Key_PageUp);
    AddLines(shown.doc, area, "new", 3);
    ASSERT_TRUE(area.Cue()->isVisible());
    elsewhere.activateWindow();
    elsewhere.setFocus();
    QTest::mouseClick(const_cast<QPushButton*>(area.Cue()), Qt::LeftButton);
    EXPECT_TRUE(area.Following());
    EXPECT_EQ(QApplication::focusWidget(), &area);

    QScrollBar& v = *area.verticalScrollBar();
    QScrollBar& h = *area.horizontalScrollBar();
    const int top = v.value();
    const QPointF middle(area.viewport()->rect().center());
    QWheelEvent wheel(middle, area.viewport()->mapToGlobal(middle), {}, {0, -120}, Qt::NoButton, Qt::ShiftModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(area.viewport(), &wheel);
    EXPECT_EQ(std::pair(v.value(), h.value()), std::pair(top, QApplication::wheelScrollLines()));

    QClipboard* clipboard = QApplication::clipboard();
    for (const std::uint64_t limit : {std::uint64_t(10), ConsoleArea::kCopyLimit}) {  // too large: not set
        clipboard->setText(QStringLiteral("before"), QClipboard::Selection);
        area.SetCopyLimit(limit);
        QTest::keyClick(&area, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(area.SelectedText(), area.PlainText());
        EXPECT_TRUE(!clipboard->supportsSelection() ||
                    PollUntil([&] { return clipboard->text(QClipboard::Selection) ==
                                           (limit == 10 ? QStringLiteral("before") : area.PlainText()); }, 5s));
    }
}

// 300 glyphs of a fractional advance: a drag across each selects that glyph alone, on a box over it alone.
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
    const qreal quarter = QFontMetricsF(area.font()).horizontalAdvance(QLatin1Char('M')) / 4;
    const qreal middle = LineHeight(area) / 2.0;
    std::vector<int> wrong;
    for (int c = 0; c < columns; ++c) {
        const Row::Glyph& glyph = drawn.glyphs[std::size_t(c)];
        Mouse(area, QEvent::MouseButtonPress, {glyph.Centre() - quarter, middle}, Qt::LeftButton);
        Mouse(area, QEvent::MouseMove, {glyph.Centre() + quarter, middle}, Qt::LeftButton);
        Mouse(area, QEvent::MouseButtonRelease, {glyph.Centre() + quarter, middle}, Qt::NoButton);
        const Row selected = Grab(area, 0);
        const bool covers = selected.selectionLeft <= glyph.left && selected.selectionRight >= glyph.right &&
                            (c == 0 || selected.selectionLeft > drawn.glyphs[std::size_t(c - 1)].right) &&
                            (c == columns - 1 || selected.selectionRight < drawn.glyphs[std::size_t(c + 1)].left);
        if (area.SelectionStart() != TextPosition(std::uint64_t(c)) || area.SelectedText() != "|" || !covers)
            wrong.push_back(c);
    }
    EXPECT_EQ(wrong, std::vector<int>{}) << "columns whose click or selection box misses the drawn glyph";
}

// A drag while reports arrive selects what was seen (X: the primary selection too); a bare click lets it follow.
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
    QClipboard* clipboard = QApplication::clipboard();  // under X (offscreen has none) the primary selection
    EXPECT_TRUE(!clipboard->supportsSelection() ||
                PollUntil([&] { return clipboard->text(QClipboard::Selection).toStdString() == seen; }, 5s));

    QTest::keyClick(&area, Qt::Key_End);
    ASSERT_TRUE(area.Following());
    Mouse(area, QEvent::MouseButtonPress, {1, 1.5 * height}, Qt::LeftButton);
    AddLines(shown.doc, area, "report", 3);
    Mouse(area, QEvent::MouseButtonRelease, {1, 1.5 * height}, Qt::NoButton);
    QScrollBar& bar = *area.verticalScrollBar();
    EXPECT_TRUE(area.Following() && bar.value() == bar.maximum() && !area.Cue()->isVisible());
}

}  // namespace
}  // namespace quillon::test
