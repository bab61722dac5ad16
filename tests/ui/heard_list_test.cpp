// The heard list window, offscreen, on its own and fed by the main window.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <gtest/gtest.h>

#include "decoder/frame_report.h"
#include "heard_list_window.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

using namespace std::chrono;

FrameReport Heard(const Ax25Frame& frame, system_clock::time_point t)
{
    ReceiveState rx;
    const std::string kiss = Kiss(frame);
    std::copy(kiss.begin(), kiss.end(), rx.RawFrame.begin() + 1);
    rx.RawFrameLength = static_cast<std::int16_t>(kiss.size());
    return ReportFrame(rx, true, {}, FixedClock(t));
}

Ax25Frame From(const char* call, int ssid = 0, std::string text = "x",
               std::vector<Ax25Address> digis = {{"WIDE1", 1, true}, {"WIDE2", 1}})
{
    return {{"APRS"}, {call, ssid}, std::move(digis), 0x03, 0xF0, std::move(text)};
}

// The rows the table shows, top to bottom, each the cells of `columns` joined by " | ".
std::vector<std::string> Listed(QAbstractItemModel& rows, std::vector<int> columns = {HeardListModel::Station})
{
    std::vector<std::string> shown;
    for (int r = 0; r < rows.rowCount(); ++r) {
        std::string line;
        for (const int c : columns)
            line += (line.empty() ? "" : " | ") + rows.index(r, c).data().toString().toStdString();
        shown.push_back(line);
    }
    return shown;
}

TEST(HeardListWindow, SortsByEveryColumnAsItsValuesAndFiltersAnyColumn)
{
    HeardListWindow window;
    window.SetOwnLocation(GeoPoint{48.1375, 11.5755});
    const auto t = At(10h);
    // Frames 2, 10 and 9, and distances 3.8 and 12.0 km: as numbers, not as texts. Last heard within one
    // second, so that only the milliseconds order them, against the order the stations came in.
    for (int i = 0; i < 10; ++i)
        window.Add(Heard(From("DL1ABC", 0, "!4808.75N/01137.50E>088/036Hello"), t + 900ms));
    for (int i = 0; i < 9; ++i)
        window.Add(Heard(From("OE3XYZ", 2, "\x01status\xE4", {}), t + 500ms));
    window.Add(Heard(From("N0CALL", 7, "x", {{"RELAY", 0, true}}), t - 1s));
    window.Add(Heard(From("N0CALL", 7, "!4814.73N/01134.53E-", {{"RELAY", 0, true}}), t + 100ms));
    window.show();  // shows what came while it was hidden

    QSortFilterProxyModel& rows = window.Rows();
    using M = HeardListModel;
    EXPECT_EQ(Listed(rows, {M::Station, M::Symbol, M::Frames, M::Distance, M::Bearing, M::Latitude, M::Text}),
              (std::vector<std::string>{  // as it opens: who was heard last, first
                  "DL1ABC | /> car | 10 | 3.8 | 76 | 48.14583 | !4808.75N/01137.50E>088/036Hello",
                  "OE3XYZ-2 |  | 9 |  |  |  | .status\u00E4",
                  "N0CALL-7 | /- house | 2 | 12.0 | 0 | 48.24550 | !4814.73N/01134.53E-"}));
    const struct { int column; Qt::SortOrder order; std::vector<std::string> stations; } sorts[] = {
        {M::Distance, Qt::AscendingOrder, {"DL1ABC", "N0CALL-7", "OE3XYZ-2"}},  // none: last
        {M::Frames, Qt::AscendingOrder, {"N0CALL-7", "OE3XYZ-2", "DL1ABC"}},
        {M::LastHeard, Qt::AscendingOrder, {"N0CALL-7", "OE3XYZ-2", "DL1ABC"}},
        {M::FirstHeard, Qt::AscendingOrder, {"N0CALL-7", "OE3XYZ-2", "DL1ABC"}},
        {M::Text, Qt::DescendingOrder, {"OE3XYZ-2", "N0CALL-7", "DL1ABC"}},
    };
    auto* table = window.findChild<QTableView*>("stations");
    for (const auto& s : sorts) {
        table->sortByColumn(s.column, s.order);  // as a click on the column's header does
        EXPECT_EQ(Listed(rows), s.stations) << s.column << " " << s.order;
    }

    auto* filter = window.findChild<QLineEdit*>("filter");
    const struct { const char* typed; std::vector<std::string> stations; } filters[] = {
        {"wide2", {"DL1ABC"}},     // a digipeater, in small letters
        {"relay*", {"N0CALL-7"}},  // a fixed text, not a pattern
        {"", {"OE3XYZ-2", "N0CALL-7", "DL1ABC"}},
    };
    for (const auto& f : filters) {
        filter->setText(QString::fromLatin1(f.typed));
        EXPECT_EQ(Listed(rows), f.stations) << f.typed;
    }

    window.SetOwnLocation(std::nullopt);  // no own location: no distances
    EXPECT_EQ(Listed(rows, {M::Station, M::Distance, M::Bearing}),
              (std::vector<std::string>{"OE3XYZ-2 |  | ", "N0CALL-7 |  | ", "DL1ABC |  | "}));
}

TEST(HeardListWindow, RefreshesAtMostOnceASecondKeepingTheSelection)
{
    HeardListWindow window;
    const auto t = At(10h);
    window.Add(Heard(From("AA1AA"), t));
    window.Add(Heard(From("BB1BB"), t + 1s));
    window.show();
    auto* table = window.findChild<QTableView*>("stations");
    table->sortByColumn(HeardListModel::Station, Qt::AscendingOrder);
    QSortFilterProxyModel& rows = window.Rows();
    table->selectionModel()->select(rows.index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_EQ(table->selectionModel()->selectedRows().size(), 1);  // BB1BB

    window.Add(Heard(From("BB1BB", 0, "again"), t + 2s));
    window.Add(Heard(From("00AAA"), t + 3s));  // sorts first: the selected row moves down
    EXPECT_EQ(Listed(rows), (std::vector<std::string>{"AA1AA", "BB1BB"}));  // not yet
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows.rowCount() == 3; }));
    EXPECT_EQ(Listed(rows, {HeardListModel::Station, HeardListModel::Frames, HeardListModel::Text}),
              (std::vector<std::string>{"00AAA | 1 | x", "AA1AA | 1 | x", "BB1BB | 2 | again"}));
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].data().toString().toStdString(), "BB1BB");
}

// The main window feeds every report to the heard list, open or not; "Clear Counter" empties it at once.
TEST(HeardListWindow, TheMainWindowFeedsItFromTheStationAndClearCounterEmptiesIt)
{
    Window w;
    auto* heard = w.Find<HeardListWindow>("heardList");
    ASSERT_NE(heard, nullptr);
    EXPECT_FALSE(heard->isVisible());

    ASSERT_TRUE(w.Send(Kiss(From("N0CALL", 7, "Hi\r")) + Kiss(From("DL1ABC"))));
    w.clock.Advance(61s);
    ASSERT_TRUE(w.Send(Kiss(From("N0CALL", 7, "again", {}))));
    w.Trigger("heardListAction");
    EXPECT_TRUE(heard->isVisible());
    EXPECT_EQ(Listed(heard->Rows(), {HeardListModel::Station, HeardListModel::Frames, HeardListModel::LastHeard}),
              (std::vector<std::string>{"N0CALL-7 | 2 | 2013-07-28 14:06:10", "DL1ABC | 1 | 2013-07-28 14:05:09"}));

    w.Trigger("clearAction");
    EXPECT_EQ(heard->Rows().rowCount(), 0);
    ASSERT_TRUE(w.Send(Kiss(From("OE3XYZ", 1))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Listed(heard->Rows()) == std::vector<std::string>{"OE3XYZ-1"}; }));
}

}  // namespace
}  // namespace quillon::test
