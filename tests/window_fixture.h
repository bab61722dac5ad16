// The main window driven in-process: a temporary program folder whose COM1
// and COM2 are pseudo-terminals held by the test, a clock the test sets and a
// clock setter that only records.
#pragma once

#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "app/form1.h"
#include "platform/system_clock_setter.h"
#include "support/files.h"
#include "support/pty.h"

namespace quillon::test {

class WindowFixture {
public:
    WindowFixture()
    {
        std::filesystem::create_symlink(com1.SlavePath(), dir / "COM1");
        std::filesystem::create_symlink(com2.SlavePath(), dir / "COM2");
    }

    // Writes quillon.ini and the scripts, then creates and loads the window.
    Form1& Load(const std::string& ini, const std::string& initScript = "",
                const std::string& exitScript = "")
    {
        WriteBinaryFile(dir / "quillon.ini", ini);
        if (!initScript.empty())
            WriteBinaryFile(dir / "tnc_init.txt", initScript);
        if (!exitScript.empty())
            WriteBinaryFile(dir / "tnc_exit.txt", exitScript);
        Environment env;
        env.programDir = QString::fromStdString(dir.Path());
        env.clock = &clock;
        env.clockSetter = &clockSetter;
        form = std::make_unique<Form1>(env);
        form->Timer1.stop();  // ticks are driven by the tests
        form->Form_Load();
        return *form;
    }

    // Writes bytes to the TNC side of COM1 and lets the window take them.
    bool Send(const std::string& bytes)
    {
        const auto before = form->Counters.BytesReceived;
        return com1.WriteAll(bytes) &&
               QTest::qWaitFor([&] { return form->Counters.BytesReceived >= before + bytes.size(); },
                               10000);
    }

    // Reads what the window wrote to a port, while its event loop runs.
    static std::string Receive(Pty& pty, std::size_t count)
    {
        std::string got;
        (void)QTest::qWaitFor([&] {
            got += pty.ReadAvailable();
            return got.size() >= count;
        }, 10000);
        return got;
    }

    std::string Log(const char* ending) const
    {
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            if (entry.path().extension() == ending)
                return ReadBinaryFile(entry.path().string());
        return {};
    }

    TempDir dir{"quillon-window"};
    Pty com1;
    Pty com2;
    FakeClock clock{std::chrono::sys_days{std::chrono::year{2013} / 7 / 28} + std::chrono::hours{14} +
                    std::chrono::minutes{5} + std::chrono::seconds{9}};
    FakeClockSetter clockSetter;
    std::unique_ptr<Form1> form;
};

}  // namespace quillon::test
