#include <gtest/gtest.h>

#include <QDir>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "test_tnc_pty.h"
#include "tnc/tnc_script.h"

namespace quillon {
namespace {

std::string Hex(std::string_view bytes)
{
    std::string out;
    char buffer[4];
    for (unsigned char b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X ", b);
        out += buffer;
    }
    return out;
}

void WriteFile(const std::string& path, std::string_view contents)
{
    std::ofstream(path, std::ios::binary).write(contents.data(), std::streamsize(contents.size()));
}

// A port that records what it is handed, one call at a time.
struct FakePort {
    bool open = true;
    std::optional<char> refused;  // a byte this port will not take
    std::vector<std::string> calls;
    std::string sent;

    bool Output(std::string_view bytes)
    {
        calls.emplace_back(bytes);
        if (refused && bytes.find(*refused) != std::string_view::npos)
            return false;
        sent += bytes;
        return true;
    }
};

struct Outcome {
    std::string sent;
    std::string status;
    bool oneBytePerCall = true;
};

Outcome RunScript(const std::string& dir, std::string_view fileName, FakePort port)
{
    Outcome out;
    RunTncScript(
        dir, fileName, [&] { return port.open; },
        [&](std::string_view bytes) { return port.Output(bytes); },
        [&](std::string_view line) { out.status += std::string(line) + "\r\n"; });
    out.sent = port.sent;
    for (const std::string& call : port.calls)
        out.oneBytePerCall = out.oneBytePerCall && call.size() == 1;
    return out;
}

enum class File { Text, Missing, Directory };

struct ScriptCase {
    const char* name;
    std::string contents;
    std::string sent;
    File file = File::Text;
    bool portOpen = true;
    std::optional<char> refused = std::nullopt;
};

TEST(TncScript, SendsEachCommandLineTranslated)
{
    using namespace std::string_literals;
    const ScriptCase cases[] = {
        {"KISS return", "$\r\n", "\xC0\xFF\xC0\r"},
        {"escape alone", "^\r\n", "\x1B\r"},
        {"escape command then KISS on", "^@K\r\n", "\x1B@K\r"},
        {"markers inside a command", "KISS ON^$X\r\n", "KISS ON\x1B\xC0\xFF\xC0X\r"},
        {"blank before # is a command", " # not a comment\r\n", " # not a comment\r"},
        {"# further on is sent", "MYCALL N0CALL # station\r\n", "MYCALL N0CALL # station\r"},
        {"a line of one blank is sent", " \r\n", " \r"},
        {"comments skipped between commands", "# set up\r\nKISS ON\r\n#RESTART\r\nRESTART\r\n",
         "KISS ON\rRESTART\r"},
        {"last line without a line break", "KISS ON\r\nRESTART", "KISS ON\rRESTART\r"},
        {"comment and empty line only", "# nothing to do\r\n\r\n", ""},
        {"empty lines skipped", "A\n\n\nB\n", "A\rB\r"},
        {"LF, CR and CR LF all end a line", "A\nB\rC\r\nD\n", "A\rB\rC\rD\r"},
        {"LF CR is two line ends", "A\n\rB\n", "A\rB\r"},
        {"control and high bytes go as they are", "\x00\xFF\xC0\xDB\x7F\n"s,
         "\x00\xFF\xC0\xDB\x7F\r"s},
        {"empty file", "", ""},
        {"missing file", "", "", File::Missing},
        {"a directory where the file should be", "", "", File::Directory},
        {"port closed", "KISS ON\r\n$\r\n", "", File::Text, false},
        {"a refused byte is skipped", "AXB\r\n$\r\n", "AB\r\xC0\xFF\xC0\r", File::Text, true, 'X'},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string path = dir.filePath("tnc_init.txt").toStdString();
        if (c.file == File::Text)
            WriteFile(path, c.contents);
        if (c.file == File::Directory) {
            ASSERT_TRUE(QDir(dir.path()).mkdir("tnc_init.txt"));
        }

        FakePort port;
        port.open = c.portOpen;
        port.refused = c.refused;
        const Outcome out = RunScript(dir.path().toStdString(), kTncInitScript, port);
        EXPECT_EQ(Hex(out.sent), Hex(c.sent));
        EXPECT_TRUE(out.oneBytePerCall);
        EXPECT_EQ(out.status, "read tnc_init.txt\r\ndone\r\n");
    }
}

TEST(TncScript, ExitScriptNamesItsOwnFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteFile(dir.filePath("tnc_init.txt").toStdString(), "^@K\r\n");

    Outcome out = RunScript(dir.path().toStdString(), kTncExitScript, FakePort{});
    EXPECT_EQ(out.status, "read tnc_exit.txt\r\ndone\r\n");
    EXPECT_EQ(out.sent, "") << "the init script must not stand in for a missing exit script";

    WriteFile(dir.filePath("tnc_exit.txt").toStdString(), "$\r\n");
    out = RunScript(dir.path().toStdString(), kTncExitScript, FakePort{});
    EXPECT_EQ(Hex(out.sent), "C0 FF C0 0D ");
}

TEST(TncScript, HugeLineIsJustSent)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string line(10'000'000, 'A');
    line[5'000'000] = '$';
    WriteFile(dir.filePath("tnc_init.txt").toStdString(), line);

    std::size_t calls = 0;
    std::string tail;
    RunTncScript(
        dir.path().toStdString(), kTncInitScript, [] { return true; },
        [&](std::string_view b) {
            ++calls;
            tail += b;
            if (tail.size() > 4)
                tail.erase(0, tail.size() - 4);
            return true;
        },
        [](std::string_view) {});
    EXPECT_EQ(calls, 10'000'000u + 2u + 1u);  // "$" is three bytes, then CR
    EXPECT_EQ(tail, "AAA\r");
}

// The whole road to the TNC: a real serial port on a pseudo-terminal, read
// back at the far end byte for byte.
TEST(TncScript, ReachesTheFarEndOfARealLine)
{
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    QSerialPort port(QString::fromStdString(pty.SlavePath()));
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteFile(dir.filePath("tnc_init.txt").toStdString(),
              "# TNC2 to KISS\r\n^@K\r\n\r\n # blank first\nMYCALL N0CALL\rRESTART");
    std::string status;
    RunTncScript(
        dir.path().toStdString(), kTncInitScript, [&] { return port.isOpen(); },
        [&](std::string_view b) { return port.write(b.data(), qint64(b.size())) == qint64(b.size()); },
        [&](std::string_view line) { status += std::string(line) + "\r\n"; });

    const std::string expected = "\x1B@K\r # blank first\rMYCALL N0CALL\rRESTART\r";
    std::string got;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        got += pty.ReadAvailable();
        return got.size() >= expected.size();
    }, 10000));
    EXPECT_EQ(Hex(got), Hex(expected));
    EXPECT_EQ(status, "read tnc_init.txt\r\ndone\r\n");
}

}  // namespace
}  // namespace quillon
