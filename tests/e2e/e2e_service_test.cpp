// The real quillon binary as a service runs it: the journal's levels, the settings checked, the
// command line, the program folder given from outside.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e_station.h"

namespace quillon::test {
namespace {

// Standard output the journal's own stream (JOURNAL_STREAM names the file's device and inode): every
// line behind its level. Elsewhere no level, and with --idle-lines the idle line, off by default. A
// payload's C1 bytes never reach the output as U+0080-U+009F, which the journal hides as binary data.
TEST(Service, JournalLinesCarryTheirLevelAndNoC1Control)
{
    const std::string payload = "C1 \x81\x8D\x8F\x90\x9D\x80 end\xE9";
    const std::string frame = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, payload});
    for (const bool journal : {true, false}) {
        SCOPED_TRACE(journal ? "the journal" : "a plain file, --idle-lines");
        Station s(kIni + "HEXFIEL=YES\r\n");
        const std::string out = s.folder.File("journal");
        WriteFile(out, "");
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        const QString stream = QString("JOURNAL_STREAM=%1:%2").arg(st.st_dev).arg(st.st_ino);
        s.q.emplace(s.folder, QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", journal ? stream : QString("JOURNAL_STREAM")},
                    QStringList{}, std::string{},
                    journal ? QStringList{"--headless", "--monitor"} : QStringList{"--headless", "--monitor", "--idle-lines"}, out);
        ASSERT_TRUE(s.q->WaitStarted()) << ReadFile(out);
        ASSERT_TRUE(s.folder.Com1().WriteAll(frame));
        ASSERT_TRUE(s.Logged(1));
        const auto said = [&](const std::string& part) {
            return QTest::qWaitFor([&] { return ReadFile(out).find(part) != std::string::npos; }, 60000);
        };
        EXPECT_TRUE(journal || said(" sec since last packet ["));
        s.folder.Unplug(1);
        EXPECT_TRUE(said("COM 1 lost: "));
        EXPECT_EQ(s.q->Stop(), 0);

        const std::string level = journal ? "<4>" : "", info = journal ? "<6>" : "";
        const std::string text = "\n" + ReadFile(out);
        EXPECT_EQ(Count(text, "\n" + level + "quillon.ini line 5: unknown key HEXFIEL\n") +
                  Count(text, "\n" + level + "COM 1 lost: "), 2u) << text;
        EXPECT_EQ(Count(text, " UTC N0CALL-7>APRS: C1 .....\u20AC end\u00E9\n"), 1u) << text;
        EXPECT_EQ(Count(text, "\n" + info + "20"), 1u) << "the monitor line is information";
        EXPECT_EQ(Count(text, "\n<3>") + Count(text, "\n<4>") + Count(text, "\n<6>"), journal ? Count(text, "\n") - 1 : 0u)
            << "every line behind its level, or none" << text;
        EXPECT_EQ(Count(text, "sec since last packet") > 0, !journal) << "the idle line only with --idle-lines";
    }
}

// What is wrong on the command line or in the settings is said before anything runs, with the status
// that says what: 2 a usage error, 78 settings a service cannot run with, 1 --check found something.
TEST(Service, TheCommandLineAndTheSettingsAreCheckedBeforeAnythingRuns)
{
    const std::string good = "kiss_tcp=localhost\r\nSILENCE_WARNING=30\r\n";
    const std::string bad = "HEXFIEL=YES\r\nLOG_ROTATE=DAYLY\r\n";
    const struct {
        std::string ini;
        QStringList arguments;  // @: the program folder
        int status;
        std::string output, errors;  // a part that must be there; "=" in front: how it starts; "": nothing
    } cases[] = {
        {good, {"--check", "--dir", "@"}, 0, "\n  KISS_TCP=LOCALHOST: the input is the KISS server LOCALHOST:8001\n", ""},
        {good, {"-platform", "offscreen", "--check", "--dir=@"}, 0, "SILENCE_WARNING=30: a warning after 30 min", ""},
        {bad, {"env", "QUILLON_DIR=@", "--check"}, 1,
         "\nwarning: line 1: unknown key HEXFIEL\nwarning: LOG_ROTATE=DAYLY: neither DAILY nor empty\n", ""},
        {"KISS_TCP=foo:bar\r\n", {"--headless", "--dir", "@"}, 78, "",
         "=KISS_TCP=FOO:BAR not understood (HOST or HOST:PORT, port 1 to 65535): not started\n"},
        {good, {"-headless"}, 2, "", "=quillon: unknown option -headless (the option is --headless)\nusage: "},
        {good, {"--monitor"}, 2, "", "=quillon: --monitor needs --headless\n"},
        {good, {"-bogus", "--headless"}, 2, "", "=quillon: unknown option -bogus\n"},
        {good, {"--check", "--dir", "@/none"}, 2, "", "=quillon: --dir @/none: not a folder\n"},
    };
    for (const auto& c : cases) {
        ProgramFolder folder;
        folder.Write("quillon.ini", c.ini);
        QStringList arguments = c.arguments;
        arguments.replaceInStrings("@", QString::fromStdString(folder.Path()));
        std::string program = BuiltProgram("quillon");
        if (arguments.front() == "env") {  // env NAME=VALUE quillon ...
            arguments.insert(2, QString::fromStdString(std::exchange(program, "env")));
            arguments.removeFirst();
        }
        const ProgramRun run = RunProgram(program, arguments, folder.Path(), 60s);
        const std::string trace = c.arguments.join(' ').toStdString() + "\n" + run.output + run.errors;
        EXPECT_EQ(run.status, c.status) << trace;
        for (const auto& [got, expected] : {std::pair{run.output, c.output}, {run.errors, c.errors}}) {
            std::string want = expected;
            for (std::size_t at; (at = want.find("@")) != std::string::npos;)
                want.replace(at, 1, folder.Path());
            if (want.empty())
                EXPECT_EQ(got, "") << trace;
            else if (want.starts_with("="))
                EXPECT_EQ(got.substr(0, want.size() - 1), want.substr(1)) << trace;
            else
                EXPECT_NE(got.find(want), std::string::npos) << trace;
        }
        EXPECT_EQ(folder.LogName(".kss"), "") << "nothing ran";
    }
}

}  // namespace
}  // namespace quillon::test
