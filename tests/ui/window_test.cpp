// The windows in-process, offscreen: the main window in a throw-away program folder whose COM1 and
// COM2 link to pseudo-terminals held by the test, a clock the test sets, a clock setter that records.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>
#include <termios.h>

#include "fakes.h"
#include "frames.h"
#include "form1.h"
#include "form2.h"
#include "form4.h"
#include "ax25_encoder.h"
#include "line_events.h"
#include "program.h"
#include "pseudo_terminal.h"
#include "tnc/time_frame.h"

namespace quillon::test {
namespace {

std::string Str(const ByteString& b) { return std::string(b.begin(), b.end()); }

struct Window {
    explicit Window(const std::string& ini, const std::string& initScript = "",
                    const std::string& exitScript = "")
    {
        QFile::link(QString::fromStdString(com1.SlavePath()), dir.filePath("COM1"));
        QFile::link(QString::fromStdString(com2.SlavePath()), dir.filePath("COM2"));
        for (const auto& [name, text] : {std::pair{"quillon.ini", ini}, {"tnc_init.txt", initScript},
                                         {"tnc_exit.txt", exitScript}})
            WriteFile(dir.filePath(name).toStdString(), text);
        form = std::make_unique<Form1>(Environment{dir.path(), &clock, &setter});
        form->Timer1.stop();  // ticks are the test's
        form->Form_Load();
    }
    // Bytes from the TNC, once the window has taken them all; bytes the window sent to a port.
    // The window reads on this thread: a piece at a time, less than the line holds.
    bool Send(const std::string& bytes)
    {
        for (std::size_t at = 0; at < bytes.size(); at += 1024) {
            const std::string piece = bytes.substr(at, 1024);
            const auto before = form->ReceivePipeline.Counts().BytesReceived;
            if (!com1.WriteAll(piece) ||
                !QTest::qWaitFor([&] { return form->ReceivePipeline.Counts().BytesReceived == before + piece.size(); }, 20000))
                return false;
        }
        return true;
    }
    static std::string Receive(Pty& pty, std::size_t count)
    {
        std::string got;
        (void)QTest::qWaitFor([&] { return (got += pty.ReadAvailable()).size() >= count; }, 20000);
        return got;
    }

    QTemporaryDir dir;
    Pty com1, com2;
    FakeClock clock{At(14h + 5min + 9s + 437ms)};
    FakeClockSetter setter;
    std::unique_ptr<Form1> form;
};

std::string Text(const QLabel* label) { return label->text().toStdString(); }

std::vector<std::string> Look(ConsoleArea& area)  // each line, with the colour of its first character
{
    std::vector<std::string> lines;
    for (std::uint64_t i = 0; i < area.Text().LineCount(); ++i) {
        const ConsoleText::Line line = area.Text().LineAt(i);
        lines.push_back(FromCodePage(line.text).toStdString() +
                        (line.text.empty() ? "" : " " + area.Resolve(line.colours[0].colour).name().toStdString()));
    }
    return lines;
}

const std::string kFrame = Str(EncodeKissFrame(0, EncodeAx25({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "Hi\r"})));

TEST(Window, FramesFromTheTncGoToTheConsoleTheLogsAndTheMirrorUntilClearCounterOrMirrorOff)
{
    Window w("TIMEFRAMES=YES\r\nHEXFILE=YES\r\nMIRROR=YES\r\n");
    Form1& form = *w.form;
    ASSERT_TRUE(w.Send(kFrame));
    form.DecodeKissFrame->setChecked(false);
    ASSERT_TRUE(w.Send(kFrame + Bytes("C0 00 41")));  // and the start of another
    const std::string separator = std::string(66, '_') + " #bebebe";  // the palette's disabled text
    const std::string header = "2013-07-28 14:05:09.437 UTC: [22 Bytes KISS Frame (without CRC)] #808080";
    const std::vector<std::string> expected = {
        "", header, "ctrl: 3   PID: F0 {UI}   3 Payload Bytes #808080", "from N0CALL-7 to APRS:  #000000",
        "   1 > 48 69 0D  #ff0000", "Hi. #008000", "", separator,
        "", header,  // undecoded: the frame as received, in the code page
        "   1 > C0 00 82 A0 A4 A6 40 40 60 9C 60 86 82 98 98 6F 03 F0 48 69  #0000ff", "  21 > 0D C0  #0000ff",
        "\u00C0.\u201A\u00A0\u00A4\u00A6@@`\u0153`\u2020\u201A\u02DC\u02DCo.\u00F0Hi.\u00C0 #008000", "",
        separator, ""};
    EXPECT_EQ(Look(*form.RichTextBox1), expected);
    EXPECT_EQ(form.Frame5->title().toStdString() + ", " + Text(form.Label9) + ", " + Text(form.Label10),
              "RAW KISS Frame, 47 Bytes received (2 Frames), 47 Bytes sent");
    EXPECT_EQ(Window::Receive(w.com2, 47), kFrame + kFrame + Bytes("C0 00 41"));
    const auto log = [&](QString end) { return ReadFile(w.dir.filePath("28072013_1405." + end).toStdString()); };
    EXPECT_EQ(log("kss"), EncodeTimeFrame(w.clock.Now()) + kFrame + EncodeTimeFrame(w.clock.Now()) + kFrame);
    EXPECT_EQ(log("dump"), "2013-07-28 14:05:09.437 UTC: Hi.\r\n");
    EXPECT_EQ(log("hex"), "48 69 0D\r\n");

    form.MnuClear->trigger();
    EXPECT_EQ(form.RichTextBox1->PlainText().toStdString() + Text(form.Label9) + Text(form.Label10), "");
    ASSERT_TRUE(w.Send(Bytes("C0")));  // ends the frame begun before
    EXPECT_EQ(Text(form.Label9) + ", " + Text(form.Label10), "1 Bytes received (1 Frames), 1 Bytes sent");
    form.MnuMirror->trigger();  // off
    ASSERT_TRUE(w.Send("xyz"));
    EXPECT_FALSE(form.MSComm2.PortOpen() || form.Label10->isVisibleTo(&form) || form.BytesSent != 1);
}

// Copying everything after many different frames gives, line for line, the reports that the raw log of
// the same run makes when read back: every byte of the payloads as the console shows it.
TEST(Window, SelectAllAndCopyGiveTheReportsOfTheRawLogLineForLine)
{
    Window w("TIMEFRAMES=YES\r\nHEXFILE=YES\r\n");
    std::string traffic;
    for (const std::string& frame : ManyFrames(400, 11))
        traffic += frame;
    ASSERT_TRUE(w.Send(traffic));
    w.form->RichTextBox1->SelectAll();
    w.form->RichTextBox1->Copy();

    QString reports;
    for (const auto& report : ReportRuns(ReadFile(w.dir.filePath("28072013_1405.kss").toStdString()),
                                         {.timeFrames = true, .hexFile = true}, true))
        for (const ConsoleRun& run : report)
            reports += ToDisplayText(run.text);
    const auto lines = [](const QString& text) {
        std::vector<std::string> out;
        for (const QString& line : text.split('\n'))
            out.push_back(line.toStdString());
        return out;
    };
    EXPECT_EQ(lines(QApplication::clipboard()->text()), lines(reports));
}

TEST(Window, SettingsTheTncPortCannotTakeAreRefusedAndThePreviousStay)
{
    // A pseudo-terminal keeps the baud rate and the kind of parity, not the data bits.
    const std::tuple<std::string, std::string, speed_t, tcflag_t> rows[] = {
        {"4800,M,8,1", "4800,M,8,1", B4800, CMSPAR | PARODD}, {"1200,S,7,1.5", "1200,S,7,1.5", B1200, CMSPAR},
        {"4800,X,8,1", "9600,N,8,1", B9600, 0}, {"4800,O,9,1", "9600,N,8,1", B9600, 0}};
    for (const auto& [settings, inEffect, baud, parity] : rows) {
        Window w("COM_PORT=1\r\nCOM_SETTINGS=" + settings + "\r\nCOM_HANDSHAKING=NO\r\nMIRROR_COM_PORT=2\r\n"
                 "MIRROR_COM_SETTINGS=" + settings + "\r\n");
        termios line{};
        ASSERT_EQ(::tcgetattr(w.com1.MasterFd(), &line), 0);
        EXPECT_EQ(::cfgetospeed(&line), baud) << settings;
        EXPECT_EQ(line.c_cflag & (PARODD | CMSPAR), parity) << settings;
        // The port lines show the configuration; only the mirror's last line what is in effect.
        EXPECT_EQ(Text(w.form->Label6) + Text(w.form->Label7) + Text(w.form->Label8), "IN (COM 1, " + settings +
                  ",NO)OUT (COM 2, " + settings + ",)COM 2, " + inEffect + " initialized ");
    }
}

TEST(Window, ScriptsGoToTheTncAtStartAndEndAndTheOtherWindowsOutliveTheMainWindow)
{
    Window w("HEXFILE=YES\r\n", "$\r\n# comment\r\nKISS ON", "^@K\n");
    EXPECT_EQ(Window::Receive(w.com1, 12), Bytes("C0 FF C0 0D") + "KISS ON\r");
    // A supervisory frame: a dump line, but no payload for the hex log.
    ASSERT_TRUE(w.Send(Str(EncodeKissFrame(0, EncodeAx25({{"N0CALL"}, {"DL1ABC", 1}, {}, 0x21, {}, ""})))));
    for (QAction* entry : {w.form->MnuStatistics, w.form->MnuStatistics, w.form->MnuAbout})
        entry->trigger();
    w.form->close();
    EXPECT_EQ(Window::Receive(w.com1, 4), Bytes("1B 40 4B 0D"));
    EXPECT_FALSE(w.form->MSComm1.PortOpen() || w.form->MSComm2.PortOpen());
    EXPECT_EQ(QDir(w.dir.path()).entryList({"2807*"}).join(' '), "28072013_1405.dump 28072013_1405.kss");
    QString stats, about;  // the windows still open: one of each
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* form4 = qobject_cast<Form4*>(top); form4 && form4->isVisible())
            stats += form4->RichTextBox1->PlainText();
        if (auto* form2 = qobject_cast<Form2*>(top); form2 && form2->isVisible())
            about += form2->Label2->text() + (form2->Image1->pixmap().isNull() ? "" : " and the icon");
        top->close();
    }
    EXPECT_EQ(stats, "Statistics\n\n18 Bytes received\n1 Frames decoded\n0 TFESC received\n0 TFEND received\n");
    EXPECT_EQ(about, "Version 8.5    (28 July 2013) and the icon");
}

TEST(Window, TheStatusBoxTellsLineEventsAndSilenceAndAReceiveEventEmptiesIt)
{
    Window w("");
    Form1& form = *w.form;
    // As the kernel would count them: a break on the TNC's line, a framing error on the mirror's.
    for (const auto& [port, field] :
         {std::pair{&form.MSComm1, &LineCounters::brk}, {&form.MSComm2, &LineCounters::frame}}) {
        auto* source = port->findChild<LineEventSource*>();
        ASSERT_NE(source, nullptr);
        LineCounters counters;
        source->Start(LineReaders{nullptr, [&] { return std::optional(counters); }});
        const std::size_t before = form.Text1->Text().size();
        counters.*field = 1;
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.Text1->Text().size() > before; }, 20000));
        source->Stop();
    }
    w.clock.Advance(1s);
    form.Timer1_Timer();
    EXPECT_EQ(form.Text1->Text(), "read tnc_init.txt\r\ndone\r\nA Break was received.\r\nFraming Error\r\n"
                                  "1 sec since last packet [0]\r\n");
    ASSERT_TRUE(w.Send("noise"));
    EXPECT_EQ(form.Text1->Text(), "");
}

}  // namespace
}  // namespace quillon::test
