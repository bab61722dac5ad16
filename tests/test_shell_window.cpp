// The main window's menus, the statistics and about windows, and the end of
// a run in-process, with pseudo-terminals on COM1 and COM2.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <QFontMetrics>
#include <QTextBlock>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/form2.h"
#include "app/form4.h"
#include "support/kiss_frames.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

template <class Window>
std::vector<Window*> OpenWindows()
{
    std::vector<Window*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            found.push_back(window);
    return found;
}

// Every test starts and ends without statistics or about windows.
class Shell : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<Form2*>(widget) || qobject_cast<Form4*>(widget))
                widget->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    Form4* OnlyStatisticsWindow()
    {
        const auto windows = OpenWindows<Form4>();
        EXPECT_EQ(windows.size(), 1u);
        return windows.empty() ? nullptr : windows.front();
    }

    WindowFixture f;
};

std::string PlainText(const ConsoleArea* area)
{
    return area->toPlainText().toStdString();
}

QColor ColourAt(const ConsoleArea* area, int position)
{
    QTextCursor cursor(area->document());
    cursor.setPosition(position + 1);  // the format of the character before
    return cursor.charFormat().foreground().color();
}

// A UI frame whose payload holds one FEND and two FESCs: escaped on the line
// as DB DC and DB DD DB DD.
const std::string kEscapedFrame = KissFrame(Ax25UiFrame("APRS", "N0CALL-7", {}, "a\xC0" "b\xDB\xDB"));
// An RR supervisory frame: no payload, so no hex log line.
const std::string kSupervisoryFrame =
    KissFrame(Ax25Address("N0CALL", false) + Ax25Address("DL1ABC-1", true) + "\x21");

TEST_F(Shell, StatisticsShowTheCountersWhenTheWindowLoads)
{
    struct Row {
        const char* situation;
        std::string received;
        bool clearFirst;
        std::string text;
    };
    const std::string bytes = std::to_string(2 * kEscapedFrame.size() + kSupervisoryFrame.size());
    const Row rows[] = {
        {"before any data", "", false,
         "Statistics\n\n0 Bytes received\n0 Frames decoded\n0 TFESC received\n0 TFEND received\n"},
        {"after three frames, two with escapes", kEscapedFrame + kSupervisoryFrame + kEscapedFrame,
         false,
         "Statistics\n\n" + bytes + " Bytes received\n3 Frames decoded\n4 TFESC received\n"
         "2 TFEND received\n"},
        {"after Clear Counter the escapes stay counted",
         kEscapedFrame + kSupervisoryFrame + kEscapedFrame, true,
         "Statistics\n\n0 Bytes received\n0 Frames decoded\n4 TFESC received\n2 TFEND received\n"},
    };
    for (const Row& row : rows) {
        WindowFixture w;
        Form1& form = w.Load("");
        if (!row.received.empty()) {
            ASSERT_TRUE(w.Send(row.received)) << row.situation;
        }
        if (row.clearFirst)
            form.MnuClear->trigger();
        form.MnuStatistics->trigger();
        Form4* stats = OnlyStatisticsWindow();
        ASSERT_NE(stats, nullptr) << row.situation;
        EXPECT_EQ(PlainText(stats->RichTextBox1), row.text) << row.situation;
        EXPECT_EQ(ColourAt(stats->RichTextBox1, 0), QColor(0, 0, 255)) << row.situation;
        EXPECT_EQ(ColourAt(stats->RichTextBox1, 9), QColor(0, 0, 255)) << row.situation;
        EXPECT_EQ(ColourAt(stats->RichTextBox1, 12), QColor(0, 0, 0)) << row.situation;
        const QFontMetrics metrics(stats->RichTextBox1->font());  // fixed pitch
        EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')))
            << row.situation;
        stats->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST(ShellCounters, EscapesAreCountedInRawAndDecodingModeAlike)
{
    for (const bool decode : {true, false}) {
        WindowFixture w;
        Form1& form = w.Load("HEXFILE=YES\r\n");
        form.DecodeKissFrame->setChecked(decode);
        ASSERT_TRUE(w.Send(kEscapedFrame + kSupervisoryFrame + Bytes("C0 00 DB DC C0")));
        EXPECT_EQ(form.Counters.FrameCount, 3) << decode;
        EXPECT_EQ(form.Counters.TfescCount, 2) << decode;
        EXPECT_EQ(form.Counters.TfendCount, 2) << decode;
        // Escapes in noise between frames belong to no frame.
        ASSERT_TRUE(w.Send(Bytes("DB DC DB DD")));
        EXPECT_EQ(form.Counters.TfescCount, 2) << decode;
        EXPECT_EQ(form.Counters.TfendCount, 2) << decode;
    }
}

TEST_F(Shell, ChoosingStatisticsAgainKeepsTheFirstSnapshotUntilClosed)
{
    Form1& form = f.Load("");
    ASSERT_TRUE(f.Send(Bytes("C0 00 41 C0")));
    form.MnuStatistics->trigger();
    Form4* first = OnlyStatisticsWindow();
    ASSERT_NE(first, nullptr);
    const std::string snapshot = PlainText(first->RichTextBox1);
    EXPECT_NE(snapshot.find("4 Bytes received\n1 Frames decoded\n"), std::string::npos);

    ASSERT_TRUE(f.Send(Bytes("C0 00 42 C0")));
    form.MnuStatistics->trigger();
    EXPECT_EQ(OnlyStatisticsWindow(), first);
    EXPECT_EQ(PlainText(first->RichTextBox1), snapshot);

    // The close box unloads it; the next one shows the values of that moment.
    QPointer<Form4> closed = first;
    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed.isNull(); }, 10000));
    form.MnuStatistics->trigger();
    Form4* second = OnlyStatisticsWindow();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(PlainText(second->RichTextBox1).find("8 Bytes received\n2 Frames decoded\n"),
              std::string::npos);
}

TEST_F(Shell, ClosingTheMainWindowLeavesTheOtherWindowsOpen)
{
    Form1& form = f.Load("");
    form.MnuStatistics->trigger();
    form.MnuAbout->trigger();
    form.close();
    EXPECT_EQ(OpenWindows<Form4>().size(), 1u);
    EXPECT_EQ(OpenWindows<Form2>().size(), 1u);
    EXPECT_FALSE(form.MSComm1.PortOpen());  // the run has ended all the same
}

TEST_F(Shell, AboutShowsNameIconAndVersionOnce)
{
    Form1& form = f.Load("");
    form.MnuAbout->trigger();
    form.MnuAbout->trigger();
    const auto windows = OpenWindows<Form2>();
    ASSERT_EQ(windows.size(), 1u);
    const Form2* about = windows.front();
    EXPECT_EQ(about->windowTitle().toStdString(), "Quillon");
    EXPECT_EQ(about->Label1->text().toStdString(), "Quillon");
    EXPECT_EQ(about->Label2->text().toStdString(), "Version 8.5    (28 July 2013)");
    // The icon is linked in from the program's resources.
    ASSERT_FALSE(about->Image1->pixmap().isNull());
    EXPECT_EQ(about->Image1->pixmap().toImage().pixelColor(64, 64).alpha(), 255);
}

TEST_F(Shell, MenuTreeWithItsCaptionsAndAccessKeys)
{
    Form1& form = f.Load("");
    std::vector<std::string> tree;
    for (QAction* menu : form.menuBar()->actions()) {
        tree.push_back(menu->text().toStdString());
        for (QAction* entry : menu->menu()->actions())
            tree.push_back("  " + entry->text().toStdString() + (entry->isCheckable() ? " [check]" : ""));
    }
    const std::vector<std::string> expected = {
        "&File", "  &Exit",
        "&Options", "  Clear Counter", "  mirror incoming data from COM A to COM B [check]",
        "&Info", "  &Statistics", "  &About",
    };
    EXPECT_EQ(tree, expected);
    EXPECT_EQ(form.MnuExit->text(), QStringLiteral("&Exit"));
    EXPECT_EQ(form.MnuMirror->text(), QStringLiteral("mirror incoming data from COM A to COM B"));
}

// The end of a run: what is left in the program folder and what went to the
// TNC, however the main window is closed.
struct EndRow {
    const char* how;
    std::function<void(Form1&)> close;
};

const EndRow kEnds[] = {
    {"close box", [](Form1& form) { form.close(); }},
    {"&Exit", [](Form1& form) { form.MnuExit->trigger(); }},
};

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ShellEnd, EveryWayOfClosingEndsTheRunAlike)
{
    for (const EndRow& end : kEnds) {
        WindowFixture w;
        // Not ours: an empty lock file and an empty start-up script.
        WriteBinaryFile(w.dir / "LCK..quillon", "");
        WriteBinaryFile(w.dir / "tnc_init.txt", "");
        Form1& form = w.Load("HEXFILE=YES\r\n", "", "^@K\r\n");
        ASSERT_TRUE(w.Send(kSupervisoryFrame));
        end.close(form);

        EXPECT_EQ(Hex(WindowFixture::Receive(w.com1, 4)), "1B 40 4B 0D") << end.how;
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w.com1.PeerOpen() && !w.com2.PeerOpen(); }, 10000))
            << end.how;
        EXPECT_FALSE(form.RawLog.IsOpen() || form.DumpLog.IsOpen() || form.HexLog.IsOpen()) << end.how;
        // The hex log got nothing (no payload) and is gone; the others stay.
        const std::vector<std::string> left = {"28072013_1405.dump", "28072013_1405.kss", "COM1", "COM2",
                                               "LCK..quillon", "quillon.ini", "tnc_exit.txt",
                                               "tnc_init.txt"};
        EXPECT_EQ(FilesIn(w.dir.Path()), left) << end.how;
    }
}

TEST(ShellEnd, LogsThatGotNothingAreDeleted)
{
    struct Row {
        const char* situation;
        std::string received;
        bool decode;
        std::vector<std::string> logsLeft;
    };
    const Row rows[] = {
        {"nothing received", "", true, {}},
        {"only noise", "noise, no frame", true, {}},
        {"frames with payloads", kEscapedFrame, true,
         {"28072013_1405.dump", "28072013_1405.hex", "28072013_1405.kss"}},
        {"raw mode writes only the raw log", kEscapedFrame, false, {"28072013_1405.kss"}},
    };
    for (const Row& row : rows) {
        WindowFixture w;
        Form1& form = w.Load("HEXFILE=YES\r\n");
        form.DecodeKissFrame->setChecked(row.decode);
        if (!row.received.empty()) {
            ASSERT_TRUE(w.Send(row.received)) << row.situation;
        }
        form.close();
        std::vector<std::string> logs;
        for (const std::string& name : FilesIn(w.dir.Path()))
            if (name.starts_with("28072013_1405."))
                logs.push_back(name);
        EXPECT_EQ(logs, row.logsLeft) << row.situation;
    }
}

}  // namespace
}  // namespace quillon::test
