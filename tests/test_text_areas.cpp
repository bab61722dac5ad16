// The console's AddText and the status box, on real Qt widgets.
#include <QTextBlock>
#include <gtest/gtest.h>

#include "platform/text_areas.h"

namespace quillon {
namespace {

QColor ColourAt(const ConsoleArea& area, int position)
{
    QTextCursor c(area.document());
    c.setPosition(position + 1);  // the format of the character before the cursor
    return c.charFormat().foreground().color();
}

TEST(ConsoleArea, TextGoesToTheInsertionPointAndLeavesItBehind)
{
    ConsoleArea area;
    area.AddText("Hello\r", colour::Grey);
    area.AddText("", colour::Red);  // inserts nothing, moves nothing
    EXPECT_EQ(area.textCursor().position(), 6);
    area.AddText("World", colour::Green);
    EXPECT_EQ(area.toPlainText().toStdString(), "Hello\nWorld");
    EXPECT_EQ(area.textCursor().position(), 11);
    EXPECT_EQ(ColourAt(area, 0), QColor(128, 128, 128));
    EXPECT_EQ(ColourAt(area, 6), QColor(0, 128, 0));

    // The user clicked into the first line and selected "ell": the next text
    // goes in front of the selection, which stays, with its colour.
    QTextCursor selection(area.document());
    selection.setPosition(1);
    selection.setPosition(4, QTextCursor::KeepAnchor);
    area.setTextCursor(selection);
    area.AddText("<", colour::Red);
    EXPECT_EQ(area.toPlainText().toStdString(), "H<ello\nWorld");
    EXPECT_EQ(ColourAt(area, 1), QColor(255, 0, 0));
    EXPECT_EQ(ColourAt(area, 2), QColor(128, 128, 128));
    EXPECT_EQ(area.textCursor().position(), 2);
    area.AddText(">", colour::Blue);
    EXPECT_EQ(area.toPlainText().toStdString(), "H<>ello\nWorld");
}

TEST(ConsoleArea, LineBreaksColoursAndEightBitCharacters)
{
    ConsoleArea area;
    area.AddRuns({{"a\rb\nc\r\nd", colour::Black},
                  {std::string("\x80\xE9\x81\xC0", 4), colour::DisabledText}});
    EXPECT_EQ(area.document()->blockCount(), 4);
    EXPECT_EQ(area.document()->lastBlock().text().toStdString(), "d\u20AC\u00E9\u0081\u00C0");
    EXPECT_EQ(ColourAt(area, 7), area.palette().color(QPalette::Disabled, QPalette::Text));
    EXPECT_EQ(area.Resolve(0x00FF0000), QColor(0, 0, 255));
}

TEST(StatusBox, LinesEndInCrLfAndClearEmptiesIt)
{
    StatusBox box;
    box.AppendLine("opening connection to TIMESERVER [HOST]");
    box.AppendLine("   winsock connection made");
    EXPECT_EQ(box.Text(), "opening connection to TIMESERVER [HOST]\r\n   winsock connection made\r\n");
    EXPECT_EQ(box.toPlainText().toStdString(),
              "opening connection to TIMESERVER [HOST]\n   winsock connection made\n");
    box.Clear();
    EXPECT_EQ(box.Text(), "");
    EXPECT_EQ(box.toPlainText().toStdString(), "");
}

}  // namespace
}  // namespace quillon
