// The console's batches: the runs collected while a batch is open land as
// they would have landed call by call, where the insertion point stood,
// leaving it behind them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScrollBar>
#include <QTextBlock>

#include "platform/text_areas.h"

namespace quillon {
namespace {

const std::vector<std::vector<ConsoleRun>> kReports = {
    {{"\r", colour::Black}, {"header one\r", colour::Grey}, {"41 42 \r", colour::Red}},
    {{"\r", colour::Black}, {"header two\r", colour::Grey}, {"AB\r", colour::Green}},
    {{"", colour::Blue}},
    {{"\r", colour::Black}, {"three\r\n__\r", colour::DisabledText}},
};

// Text, colour of each character, the insertion point and the selection.
struct Look {
    std::string text;
    std::vector<QRgb> colours;
    int position = 0, anchor = 0;
    bool operator==(const Look&) const = default;
};

Look LookOf(const ConsoleArea& area)
{
    Look look;
    look.text = area.toPlainText().toStdString();
    QTextCursor c(area.document());
    for (int i = 1; i < area.document()->characterCount(); ++i) {
        c.setPosition(i);
        look.colours.push_back(c.charFormat().foreground().color().rgba());
    }
    look.position = area.textCursor().position();
    look.anchor = area.textCursor().anchor();
    return look;
}

// Fills the area, puts the insertion point (with a selection) at `at`, then
// adds the reports, batched or not, and some text once the batch is over.
Look AddAll(bool batched, int at)
{
    ConsoleArea area;
    area.AddText("first line\rsecond line\r", colour::Black);
    QTextCursor selection(area.document());
    selection.setPosition(at);
    selection.setPosition(at + 3, QTextCursor::KeepAnchor);
    area.setTextCursor(selection);
    if (batched) {
        const ConsoleArea::Batch batch(area);
        for (const auto& report : kReports)
            area.AddRuns(report);
        area.AddText("plain", colour::Blue);
        EXPECT_EQ(area.toPlainText().toStdString(), "first line\nsecond line\n")
            << "nothing is inserted before the batch ends";
    } else {
        for (const auto& report : kReports)
            area.AddRuns(report);
        area.AddText("plain", colour::Blue);
    }
    area.AddText("after", colour::Green);
    return LookOf(area);
}

TEST(ConsoleBatch, LandsAsCallByCallWhereverTheInsertionPointStood)
{
    for (const int at : {0, 5, 11, 20}) {
        SCOPED_TRACE(at);
        const Look byCall = AddAll(false, at);
        const Look batched = AddAll(true, at);
        EXPECT_EQ(batched.text, byCall.text);
        EXPECT_TRUE(batched == byCall);
    }
}

TEST(ConsoleBatch, NestedBatchesInsertOnceTheOutermostEnds)
{
    ConsoleArea area;
    {
        const ConsoleArea::Batch outer(area);
        {
            const ConsoleArea::Batch inner(area);
            area.AddRuns(kReports[0]);
        }
        EXPECT_TRUE(area.toPlainText().isEmpty());
        area.AddRuns(kReports[1]);
    }
    EXPECT_EQ(area.toPlainText().toStdString(), "\nheader one\n41 42 \n\nheader two\nAB\n");
    EXPECT_EQ(area.textCursor().position(), area.document()->characterCount() - 1);
    {
        const ConsoleArea::Batch empty(area);  // nothing added: nothing moves
    }
    EXPECT_EQ(area.textCursor().position(), area.document()->characterCount() - 1);
}

TEST(ConsoleBatch, AShownConsoleScrollsToTheNewestLineOnce)
{
    ConsoleArea area;
    area.resize(400, 200);
    area.show();
    {
        const ConsoleArea::Batch batch(area);
        for (int i = 0; i < 500; ++i)
            area.AddRuns(kReports[i % 2]);
    }
    QCoreApplication::processEvents();
    const QScrollBar* bar = area.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    // The insertion point, at the end, is in view.
    EXPECT_TRUE(area.viewport()->rect().contains(area.cursorRect().center()));
}

}  // namespace
}  // namespace quillon
