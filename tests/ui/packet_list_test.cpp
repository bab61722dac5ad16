// The packet list: in the main window on a station and in an old log's window, and its model over a store
// that forgets its oldest rows.
#include <QScrollBar>
#include <gtest/gtest.h>

#include "decoder/frame_report.h"
#include "frames.h"
#include "packet_list.h"
#include "report_views.h"
#include "text_areas.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

using namespace std::chrono;

Ax25Frame From(const char* call, int ssid, std::string text)
{
    return {{"APRS"}, {call, ssid}, {{"WIDE1", 1, true}}, 0x03, 0xF0, std::move(text)};
}

FrameReport Reported(const std::string& kiss) { return ReportFrame(Received(kiss), true, {}, FixedClock(system_clock::time_point{})); }

// The rows shown, top to bottom: from, then the start of the text.
std::vector<std::string> Rows(const QAbstractItemModel& model)
{
    std::vector<std::string> rows;
    for (int r = 0; r < model.rowCount(); ++r)
        rows.push_back(model.index(r, int(PacketColumn::From)).data().toString().toStdString() + " " +
                       model.index(r, int(PacketColumn::Text)).data().toString().toStdString());
    return rows;
}

void Filter(PacketListPane& list, const char* text)
{
    list.FilterBox().setText(QString::fromLatin1(text));
    QTest::keyClick(&list.FilterBox(), Qt::Key_Return);
}

void Choose(PacketListPane& list, const char* action, int row)
{
    for (QAction* a : list.RowMenu(row)->actions())
        if (a->text() == QString::fromLatin1(action))
            a->trigger();
}

TEST(PacketList, ListsTheStationsFramesFilteredAndShowsAChosenRowsReportAsTheConsoleDoes)
{
    Window w;
    w.window->show();
    w.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    ReportViews& views = w.window->Views();
    PacketListPane& list = w.window->List();
    EXPECT_FALSE(views.ListShown());  // the console at every start
    QTest::keyClick(w.window.get(), Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(views.ListShown());
    EXPECT_TRUE(list.Table().hasFocus());

    ASSERT_TRUE(w.Send(Kiss(From("N0CALL", 7, "Hi")) + Kiss(From("DL1ABC", 0, "!4808.75N/01137.50E>")) +
                       Kiss(From("N0CALL", 7, "again"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.Model().rowCount() == 3; }));
    EXPECT_EQ(Rows(list.Model()), (std::vector<std::string>{"N0CALL-7 Hi", "DL1ABC !4808.75N/01137.50E>", "N0CALL-7 again"}));

    Filter(list, "from:N0CALL*");
    EXPECT_EQ(Rows(list.Model()), (std::vector<std::string>{"N0CALL-7 Hi", "N0CALL-7 again"}));
    // (That the filter holds for later rows too is the model's test.)
    // A bad term is shown and the rows stay as they were.
    Filter(list, "foo:x from:DL1ABC");
    EXPECT_TRUE(list.FilterError().isVisible());
    EXPECT_TRUE(list.FilterError().text().contains("foo")) << list.FilterError().text().toStdString();
    EXPECT_EQ(list.Model().rowCount(), 2);

    // A chosen row's report is the console's report of that frame.
    list.Table().selectRow(1);
    const QString report = list.Report().PlainText();
    EXPECT_TRUE(report.contains("from N0CALL-7 to APRS via WIDE1-1*") && report.contains("again"))
        << report.toStdString();
    EXPECT_TRUE(w.window->Console().PlainText().contains(report.trimmed()));

    // The row menu edits the filter: "only" takes the place of the other from: terms.
    Filter(list, "from:* -to:ID");
    Choose(list, "only this station", 1);
    EXPECT_EQ(list.FilterBox().text().toStdString(), "-to:ID from:DL1ABC");
    EXPECT_EQ(Rows(list.Model()), std::vector<std::string>{"DL1ABC !4808.75N/01137.50E>"});
    Filter(list, "");
    Choose(list, "hide this station", 0);
    EXPECT_EQ(list.FilterBox().text().toStdString(), "-from:N0CALL-7");
    EXPECT_EQ(list.Model().rowCount(), 1);

    w.Trigger("clearAction");
    list.CatchUp();
    EXPECT_EQ(list.Model().rowCount(), 0);
    QTest::keyClick(w.window.get(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_FALSE(views.ListShown());
    EXPECT_TRUE(w.window->Console().hasFocus());
}

TEST(PacketList, FollowsTheNewestRowAndStaysPutWithACueWhenScrolledUpOrARowIsChosen)
{
    PacketListPane list;
    list.resize(600, 400);
    list.show();
    list.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
    const auto add = [&](int count) {
        for (int i = 0; i < count; ++i)
            list.Add(Reported(Kiss(From("N0CALL", 1, "#" + std::to_string(list.Store().Size())))));
        list.CatchUp();
    };
    QScrollBar* v = list.Table().verticalScrollBar();
    add(100);
    EXPECT_TRUE(list.Following() && v->value() > 0 && v->value() == v->maximum());

    v->setValue(10);
    add(5);
    add(2);
    EXPECT_EQ(v->value(), 10);
    EXPECT_TRUE(list.Cue().isVisible());
    EXPECT_EQ(list.Cue().text().toStdString(), "7 new reports below \u25BC");
    QTest::mouseClick(const_cast<QPushButton*>(&list.Cue()), Qt::LeftButton);
    EXPECT_TRUE(list.Following() && v->value() == v->maximum() && !list.Cue().isVisible());
    EXPECT_TRUE(list.Table().hasFocus());

    // A chosen row stays in view; choosing the newest follows on.
    list.Table().selectRow(list.Model().rowCount() - 1);
    add(1);
    EXPECT_TRUE(list.Following() && v->value() == v->maximum());
    list.Table().selectRow(list.Model().rowCount() - 3);
    const int held = v->value();
    add(1);
    EXPECT_EQ(v->value(), held);
    EXPECT_EQ(list.Cue().text().toStdString(), "1 new report below \u25BC");
}

// The model over a store that forgets its oldest rows: the rows shown are always the store's rows the
// filter lets through, in order or sorted.
TEST(PacketList, TheModelKeepsToAStoreThatForgetsItsOldestRows)
{
    struct Case {
        const char* filter;
        int sortColumn;
    };
    for (const Case c : {Case{"", -1}, Case{"from:N0CALL-3", -1}, Case{"-from:N0CALL-3", int(PacketColumn::From)}}) {
        SCOPED_TRACE(c.filter);
        PacketStore store(256 * 1024);
        PacketListModel model(store);
        model.SetFilter(*ParsePacketFilter(c.filter).filter);
        model.sort(c.sortColumn, Qt::AscendingOrder);
        const std::vector<std::string> frames = ManyFrames(3000, 3);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const FrameReport report = Reported(frames[i]);
            store.Append(Received(frames[i]), report.time, &*report.decoded);
            if (i % 400 == 399)
                model.Refresh();
        }
        model.Refresh();
        ASSERT_GT(store.Dropped(), 0u);
        std::vector<std::uint32_t> expected = store.Select(*ParsePacketFilter(c.filter).filter);
        std::vector<std::string> want;
        for (const std::uint32_t row : expected)
            want.push_back(
                FromCodePage(store.Cell(row, PacketColumn::From) + " " + store.Cell(row, PacketColumn::Text)).toStdString());
        std::vector<std::string> shown = Rows(model);
        if (c.sortColumn >= 0) {  // sorted, then the later rows in the order they came: the same rows
            std::sort(want.begin(), want.end());
            std::sort(shown.begin(), shown.end());
        }
        EXPECT_EQ(shown, want);
    }
}

}  // namespace
}  // namespace quillon::test
