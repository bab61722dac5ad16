// The console on its own, shown offscreen, and the status box.
#include <QClipboard>
#include <QScrollBar>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

#include "text_areas.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

// New reports leave a selection alone, and the view follows them only from the bottom.
TEST(Console, TheSelectionStaysAndTheViewFollowsOnlyFromTheBottom)
{
    Shown shown;
    ConsoleArea& area = shown.area;
    ConsoleDocument& doc = shown.doc;
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

// Each line painted in its colour, the separator in the palette's disabled-text colour of the moment.
TEST(Console, EachLineIsPaintedInTheColourOfItsRun)
{
    Shown shown(700, 300);
    ConsoleArea& area = shown.area;
    ConsoleDocument& doc = shown.doc;
    QFont font = area.font();
    font.setStyleStrategy(QFont::NoAntialias);  // only the text's own colours in the image
    area.setFont(font);
    QPalette palette = area.palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(200, 0, 200));
    palette.setColor(QPalette::Highlight, QColor(48, 112, 192));
    palette.setColor(QPalette::HighlightedText, QColor(255, 255, 0));
    area.setPalette(palette);
    doc.AddReport(ReportRuns(Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "Hi\r"})).front());
    const TextPosition mixed = area.Text().End();
    doc.AddReport(std::vector<ConsoleRun>{{"\xC9t\xE9 red", colour::Red}, {" blue", colour::Blue}});
    area.Select(mixed, mixed + 3);

    const QImage image = area.viewport()->grab().toImage();
    const int height = QFontMetrics(font).lineSpacing();
    std::vector<std::string> look;  // each line's colours but the background, by name
    for (int top = 0; top + height <= image.height() && look.size() < 9; top += height) {
        std::map<std::string, int> count;
        for (int y = top; y < top + height; ++y)
            for (int x = 0; x < image.width(); ++x)
                ++count[QColor(image.pixel(x, y)).name().toStdString()];
        std::string colours;
        for (const auto& [name, pixels] : count)
            if (pixels >= 3 && name != area.palette().color(QPalette::Base).name().toStdString())
                colours += (colours.empty() ? "" : "+") + name;
        look.push_back(colours);
    }
    EXPECT_EQ(look, (std::vector<std::string>{"", "#808080", "#808080", "#000000", "#ff0000", "#008000", "",
                                              "#c800c8", "#0000ff+#3070c0+#ff0000+#ffff00"}));
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
    ConsoleArea& area = shown.area;
    ConsoleDocument& doc = shown.doc;
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
    EXPECT_LE(box.Text().size(), 2 * limit);
    EXPECT_LE(std::size_t(box.document()->characterCount()), 2 * limit);
    EXPECT_TRUE(box.Text().ends_with(std::string(10, char('a' + 299 % 26)) + "299\r\n"));
    EXPECT_TRUE(box.toPlainText().endsWith(QStringLiteral("299\n")));
}

}  // namespace
}  // namespace quillon::test
