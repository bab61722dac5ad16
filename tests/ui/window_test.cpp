// The main window, the heard list and old logs' windows, offscreen, on a station in a throw-away folder.
#include <QDir>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QTableView>
#include <gtest/gtest.h>

#include "decoder/frame_report.h"
#include "frames.h"
#include "heard_list_window.h"
#include "link.h"
#include "program.h"
#include "raw_log.h"
#include "text_areas.h"
#include "tnc/time_frame.h"
#include "packet_list.h"
#include "report_views.h"
#include "watch_dialog.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

// Frames to the console, the logs and the mirror (whole frames only: the one begun goes when it ends).
TEST(Window, ShowsTheFramesTheCountersAndTheLampsUntilClearCounterOrMirrorOff)
{
    Window w("TIMEFRAMES=YES\r\nHEXFILE=YES\r\nMIRROR=YES\r\nJSONFILE=yes\r\n");
    ASSERT_TRUE(w.Send(kFrame));
    w.Find<QCheckBox>("decodeSwitch")->setChecked(false);
    ASSERT_TRUE(w.Send(kFrame + Bytes("C0 00 41")));  // and the start of another
    const QString text = w.window->Console().PlainText();  // decoded, then as received
    EXPECT_TRUE(text.count("from N0CALL-7 to APRS") == 1 && text.contains("   1 > C0 00 82 A0")) << text.toStdString();
    const auto counters = [&] {
        return w.Find<QGroupBox>("frameBox")->title().toStdString() + ", " + w.Label("receivedCounter") + ", " +
               w.Label("sentCounter");
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return counters() == "RAW KISS Frame, 47 Bytes received (2 Frames), 44 Bytes sent"; }))
        << counters();
    EXPECT_EQ(Window::Receive(w.com2, 44), kFrame + kFrame);
    EXPECT_EQ(w.Log("kss"), EncodeTimeFrame(w.clock.Now()) + kFrame + EncodeTimeFrame(w.clock.Now()) + kFrame);
    EXPECT_EQ(w.Log("dump") + w.Log("hex"), "2013-07-28 14:05:09.437 UTC: Hi.\r\n48 69 0D\r\n");
    EXPECT_EQ(Count(w.Log("jsonl"), "\"time\":\"2013-07-28T14:05:09.437Z\""), 2u);  // a line for every frame
    EXPECT_EQ(w.Label("inputLabel") + w.Label("mirrorLabel"), "IN (COM , ,)OUT (COM , ,)");
    const auto lamps = [&] {
        std::string shown;
        for (const char* name : {"inputLamp", "mirrorLamp"})
            shown += std::to_string(int(w.Find<IndicatorLamp>(name)->Shown())) +
                     (w.Find<IndicatorLamp>(name)->isVisibleTo(w.window.get()) ? "+" : "-");
        return shown;
    };
    EXPECT_EQ(lamps(), "1+1+");  // both green

    w.Trigger("clearAction");
    EXPECT_EQ(w.window->Console().PlainText().toStdString() + w.Label("receivedCounter") + w.Label("sentCounter"), "");
    ASSERT_TRUE(w.Send(Bytes("C0")));  // ends the frame begun before
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Label("receivedCounter") + w.Label("sentCounter") == "1 Bytes received (1 Frames)4 Bytes sent"; }));
    EXPECT_EQ(Window::Receive(w.com2, 4), Bytes("C0 00 41 C0"));
    w.Trigger("mirrorAction");  // off
    ASSERT_TRUE(w.Send("xyz"));
    EXPECT_FALSE(w.station->Mirroring() || w.station->Mirror().IsOpen() || w.station->BytesSent() != 4 ||
                 w.Find("sentCounter")->isVisibleTo(w.window.get()) || w.Find<QAction>("mirrorAction")->isChecked());
    EXPECT_EQ(lamps(), "1+0-");
    w.station->Tick();
    EXPECT_EQ(w.Label("clock"), "14:05:09");
    w.window->close();
    EXPECT_TRUE(w.station->Stopped());
}

// A console whose temporary file cannot be made says so once in the status box.
TEST(Window, AConsoleWithoutItsTemporaryFileSaysSoOnce)
{
    Window w;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", w.File("no such folder").c_str());
    w.window->History().SetMemoryBudget(0);
    const std::string frame = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, std::string(240, 'x')});
    const std::string line = ConsoleFileLine(ENOENT);
    int said = 0;
    for (int i = 0; i < 120; ++i) {  // about two chunks of console text
        ASSERT_TRUE(w.Send(frame));
        said += w.window->Status().Text().find(line) != std::string::npos;  // each frame empties the box
    }
    saved.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", saved);
    EXPECT_EQ(w.window->Console().Text().FileError(), ENOENT);
    EXPECT_EQ(said, 1) << line;
}

// The watch list's dialog writes watch.txt, watched from the next frame on: its address lines marked, one notice,
// with the address and APRS lines; KISS_PORTS names the port.
TEST(Window, AWatchedStationIsMarkedAndAnnouncedOnceFromTheListTheDialogSaves)
{
    struct Recording final : DesktopNotifier {
        std::shared_ptr<std::vector<QString>> got = std::make_shared<std::vector<QString>>();
        void Notify(const QString& summary, const QString& body) override { got->push_back(summary + " / " + body); }
    };
    Window w("APRS=YES\r\nKISS_PORTS=YES\r\n");
    auto notifier = std::make_unique<Recording>();
    const auto notified = notifier->got;
    w.window->SetNotifier(std::move(notifier));
    w.Trigger("watchListAction");
    auto* dialog = w.Find<WatchDialog>("watchDialog");
    ASSERT_TRUE(dialog && dialog->isVisible());
    dialog->Editor().setPlainText(QStringLiteral("# friends\nn0call-*"));
    dialog->Save();
    EXPECT_FALSE(dialog->isVisible());
    QFile file(QString::fromStdString(w.File("watch.txt")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "# friends\nn0call-*\n");

    const std::string position = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "!4903.50N/07201.75W-"}, 0x10);
    ASSERT_TRUE(w.Send(position + Kiss({{"APRS"}, {"DL1ABC"}, {}, 3, 0xF0, "x"}) + kFrame));
    EXPECT_EQ(*notified, std::vector<QString>{QStringLiteral(
        "N0CALL-7 heard / watch: N0CALL-7 heard, first time this run\nfrom N0CALL-7 to APRS: \n"
        "APRS position 49\u00B003.50'N 072\u00B001.75'W  /-")});
    const ConsoleText& text = w.window->Console().Text();
    std::string marked;
    for (std::uint64_t i = 0; i < text.LineCount(); ++i)
        if (const ConsoleText::Line line = text.LineAt(LineNumber(i)); line.text.starts_with("from "))
            marked += std::string(line.text.substr(5, 6)) + (line.colours[0].colour == colour::WatchedAddress ? "+ " : "- ");
    EXPECT_EQ(marked, "N0CALL+ DL1ABC- N0CALL+ ");
    EXPECT_TRUE(w.window->Console().PlainText().contains(" Bytes KISS Frame port 1 (without CRC)]\n"));
    // Its rows in the packet list are marked too.
    PacketListPane& list = w.window->List();
    w.window->show();
    w.window->Views().ShowList();
    ASSERT_GE(list.Model().rowCount(), 2);
    EXPECT_TRUE(list.Model().index(0, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(list.Model().index(1, 0).data(Qt::BackgroundRole).isValid());
}

// At most 600 pixels wide, the labels cut short with "…"; in a small window the console has most of the height
// below the menus.
TEST(Window, ASmallWindowKeepsTheConsoleAndElidesTheLabels)
{
    Window w;
    w.window->show();
    EXPECT_LE(w.window->minimumSizeHint().width(), 600);
    auto* input = w.Find<ElidingLabel>("inputLabel");
    input->setText(QStringLiteral("IN (TCP a-very-long-host-name.of.a.kiss.server.example.org:8001)"));
    w.window->resize(600, 330);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->width() == 600; }));
    const int console = w.window->Console().viewport()->height();
    EXPECT_GE(console * 2, w.window->centralWidget()->height()) << console << " of " << w.window->height();
    EXPECT_LT(input->width(), input->fontMetrics().horizontalAdvance(input->text()));
    input->grab();  // painted: elided, the whole text in its tool tip
    EXPECT_EQ(input->toolTip(), input->text());
}

// Ctrl+Q ends the run; the Edit menu holds the console's own actions, keys and all; Esc closes the find bar
// and gives the keys back to the console, not to the status box or buttons after it.
TEST(Window, TheEditMenuFindsInTheConsoleAndCtrlQQuits)
{
    Window w;
    w.window->show();
    w.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    ASSERT_TRUE(w.Send(kFrame + kFrame));
    QMenu* edit = nullptr;
    for (QAction* menu : w.window->menuBar()->actions())
        if (menu->text() == QStringLiteral("&Edit"))
            edit = menu->menu();
    ASSERT_TRUE(edit);
    ConsoleArea& area = w.window->Console();
    const auto trigger = [&](const char* text) {
        for (QAction* a : edit->actions())
            if (a->text() == QLatin1String(text))
                a->trigger();
    };
    trigger("&Find...");
    QTest::keyClicks(area.FindField(), QStringLiteral("N0CALL"));
    const TextPosition first = area.SelectionStart();
    trigger("Find Next");
    EXPECT_GT(area.SelectionStart(), first);
    QTest::keyClick(area.FindField(), Qt::Key_Escape);
    EXPECT_FALSE(area.FindField()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), &area);
    trigger("Select &All");
    EXPECT_EQ(area.SelectedText(), area.PlainText());
    QTest::keyClick(w.window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(w.station->Stopped());
}

using namespace std::chrono;

FrameReport Heard(const Ax25Frame& frame, system_clock::time_point t) { return ReportFrame(Received(Kiss(frame)), true, {}, FixedClock(t)); }

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

TEST(HeardListWindow, SortsByEveryColumnAsItsValuesFiltersAnyColumnAndRefreshesKeepingTheSelection)
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

    // New frames wait for the next refresh (at most one a second), which keeps the selected station selected.
    table->sortByColumn(M::Station, Qt::AscendingOrder);
    table->selectionModel()->select(rows.index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window.Add(Heard(From("N0CALL", 7, "again"), t + 2s));
    window.Add(Heard(From("00AAA"), t + 3s));  // sorts first: the selected row moves down
    EXPECT_EQ(rows.rowCount(), 3) << "not yet";
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows.rowCount() == 4; }));
    EXPECT_EQ(Listed(rows, {M::Station, M::Frames}),
              (std::vector<std::string>{"00AAA | 1", "DL1ABC | 10", "N0CALL-7 | 3", "OE3XYZ-2 | 9"}));
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].data().toString().toStdString(), "N0CALL-7");
}

// The main window feeds every report to the heard list, open or not, and MY_LOCATION for the distances;
// "Clear Counter" empties it at once.
TEST(HeardListWindow, TheMainWindowFeedsItFromTheStationAndClearCounterEmptiesIt)
{
    Window w("MY_LOCATION=48.1375,11.5755\r\n");
    auto* heard = w.Find<HeardListWindow>("heardList");
    ASSERT_NE(heard, nullptr);
    EXPECT_FALSE(heard->isVisible());

    ASSERT_TRUE(w.Send(Kiss(From("N0CALL", 7, "Hi\r")) + Kiss(From("DL1ABC", 0, "!4808.75N/01137.50E>"))));
    w.clock.Advance(61s);
    ASSERT_TRUE(w.Send(Kiss(From("N0CALL", 7, "again", {}))));
    w.Trigger("heardListAction");
    EXPECT_TRUE(heard->isVisible());
    EXPECT_EQ(Listed(heard->Rows(), {HeardListModel::Station, HeardListModel::Frames, HeardListModel::LastHeard,
                                     HeardListModel::Distance}),
              (std::vector<std::string>{"N0CALL-7 | 2 | 2013-07-28 14:06:10 | ", "DL1ABC | 1 | 2013-07-28 14:05:09 | 3.8"}));

    w.Trigger("clearAction");
    EXPECT_EQ(heard->Rows().rowCount(), 0);
    ASSERT_TRUE(w.Send(Kiss(From("OE3XYZ", 1))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Listed(heard->Rows()) == std::vector<std::string>{"OE3XYZ-1"}; }));
}

// A log with noise and an untimed last frame: shown and listed as the pipeline reports it, logged and counted nowhere.
TEST(LogWindow, ShowsWhatThePipelineReportsForTheLogDecodedOrRawAsTheSwitchStood)
{
    for (const bool decode : {true, false}) {
        SCOPED_TRACE(decode ? "decoded" : "raw");
        Window w("TIMEFRAMES=YES\r\n");
        const std::string log = RawLogOf(ManyFrames(300, 7), 300, At(9h + 1s + 250ms)) + "noise" +
                                Kiss({{"BEACON"}, {"DL1ABC", 1}, {{"WIDE1", 1}}, 3, 0xF0, "untimed"});
        WriteFile(w.File("old.kss"), log);
        w.Find<QCheckBox>("decodeSwitch")->setChecked(decode);
        w.Trigger("openLogAction");
        auto* dialog = w.Find<QFileDialog>("openLogDialog");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(w.dir.path()).canonicalPath());
        dialog->selectFile(w.File("old.kss").c_str());
        static_cast<QDialog*>(dialog)->accept();  // as its Open button does
        ASSERT_EQ(Window::LogWindows().size(), 1u);
        LogWindow* shown = Window::LogWindows().back();
        std::uint64_t handedOn = 0;
        shown->SetReportHandler([&](const FrameReport&) { ++handedOn; });
        w.Find<QCheckBox>("decodeSwitch")->setChecked(!decode);  // too late to matter
        shown->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
        QTest::keyClick(shown, Qt::Key_2, Qt::ControlModifier);  // its packet list
        ASSERT_TRUE(shown->Views().ListShown());
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown->Done(); }, 60000));
        // Every frame listed, a chosen row's report as its console has it.
        shown->List().CatchUp();
        ASSERT_EQ(shown->List().Model().rowCount(), 301);
        shown->List().Table().selectRow(299);
        EXPECT_TRUE(shown->Console().PlainText().contains(shown->List().Report().PlainText()));

        struct Collect final : ReceiveSink {  // the log read back through the receive pipeline
            std::string text;
            void Report(const FrameReport& r) override { for (const ConsoleRun& run : r.console) text += run.text; }
        } sink;
        Receiver(w.clock, {.report = {}, .decode = decode, .buildReports = true, .readLogTimes = true}).Feed(log, sink);
        EXPECT_TRUE(shown->Console().PlainText() == ToDisplayText(sink.text));
        EXPECT_EQ(shown->StatusText().toStdString() + ", " + std::to_string(handedOn), "301 frames, 301");
        // The log's own heard list: the untimed last frame's station only when decoded.
        shown->HeardListButton().click();
        ASSERT_TRUE(shown->Heard().isVisible());
        const HeardList& heard = shown->Heard().List();
        const auto beacon = heard.RowOf("DL1ABC-1");
        EXPECT_EQ(beacon.has_value(), decode);
        EXPECT_EQ(shown->Heard().Rows().rowCount(), int(heard.Size()));
        EXPECT_TRUE(!decode || heard.At(*beacon).lastHeard == w.clock.Now());
        EXPECT_EQ(w.station->Counts().BytesReceived + std::uint64_t(w.station->Counts().FrameCount), 0u);
        EXPECT_EQ(w.Log("kss") + w.Log("dump"), "");
    }
}

// A file that cannot be opened (or a folder) is refused with the reason; a log of no frame opens and says so.
TEST(LogWindow, RefusesAFileItCannotOpenAndSaysWhenALogHoldsNoFrame)
{
    Window w;
    QDir(w.dir.path()).mkdir(QStringLiteral("folder.kss"));
    for (const auto& [name, reason] :
         {std::pair{"missing.kss", "No such file or directory"}, {"folder.kss", "Is a directory"}}) {
        EXPECT_EQ(w.window->OpenLogFile(w.dir.filePath(QString::fromLatin1(name))), nullptr);
        auto* refusal = w.Find<QMessageBox>("openLogFailure");
        ASSERT_NE(refusal, nullptr);
        EXPECT_TRUE(refusal->text().contains(name) && refusal->text().endsWith(reason)) << refusal->text().toStdString();
        delete refusal;
    }
    EXPECT_TRUE(Window::LogWindows().empty());
    WriteFile(w.File("times.kss"), RawLogOf({""}, 3, At(10h)) + "\xC0\xC0 stray bytes");
    LogWindow* opened = w.window->OpenLogFile(w.dir.filePath(QStringLiteral("times.kss")));
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(w.Find<QMessageBox>("openLogFailure"), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened->Done(); }, 30000));
    EXPECT_EQ(opened->StatusText().toStdString() + std::to_string(opened->Console().Text().Size()),
              "No frames in this log0");
}

// Closing a log's window half-way stops its reading and a save of its console, without a word.
TEST(LogWindow, ClosingItHalfWayStopsTheReadingAndTheSave)
{
    Window w;
    const std::string path = w.File("long.kss");
    WriteFile(path, RawLogOf(ManyFrames(101, 4), 400000, At(0h)));
    LogWindow* shown = w.window->OpenLogFile(QString::fromStdString(path));
    ASSERT_NE(shown, nullptr);
    const QPointer<LogWindow> there(shown);
    std::uint64_t handedOn = 0;
    shown->SetReportHandler([&](const FrameReport&) { ++handedOn; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOn > 0; }, 60000));
    const QString saved = w.dir.filePath(QStringLiteral("saved.txt"));
    auto dialogs = std::make_unique<AnsweringDialogs>(ExportDialogs::Choice::WholeConsole, saved);
    const std::shared_ptr<std::string> told = dialogs->told;
    shown->Console().SetExportDialogs(std::move(dialogs));
    shown->Console().SetCopyLimit(1);
    shown->Console().SelectAll();
    shown->Console().Copy();
    ASSERT_TRUE(shown->Console().Saving());
    shown->close();
    const std::uint64_t atClose = handedOn;
    EXPECT_LT(atClose, 400000u);
    // As the program's own event loop does when it next runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(there.isNull());
    QCoreApplication::processEvents();
    EXPECT_EQ(handedOn, atClose);
    EXPECT_EQ(*told, "");
    EXPECT_FALSE(QFile::exists(saved) || QFile::exists(saved + QStringLiteral(".part")));
}

}  // namespace
}  // namespace quillon::test
