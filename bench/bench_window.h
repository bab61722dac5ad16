// The main window in-process for the console and status-box benchmarks: a
// throw-away program folder whose COM1 and COM2 are pseudo-terminals held
// here, a clock the benchmark moves and a clock setter that only records.
// The window is shown (on the offscreen platform under scripts/bench) and
// painted whenever the benchmark lets the event loop run.
#pragma once

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "decoder/frame_report.h"
#include "platform/system_clock_setter.h"
#include "support/files.h"
#include "support/pty.h"
#include "tnc/frame_assembler.h"

namespace quillon::bench {

class BenchWindow {
public:
    BenchWindow()
    {
        std::filesystem::create_symlink(com1.SlavePath(), dir / "COM1");
        std::filesystem::create_symlink(com2.SlavePath(), dir / "COM2");
        test::WriteBinaryFile(dir / "quillon.ini", "COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nHEXFILE=YES\r\n");
        Environment env;
        env.programDir = QString::fromStdString(dir.Path());
        env.clock = &clock;
        env.clockSetter = &clockSetter;
        form = std::make_unique<Form1>(env);
        form->Timer1.stop();  // ticks are the benchmark's
        form->Form_Load();
        form->show();
        (void)QTest::qWaitForWindowExposed(form.get());
    }

    // Lets the window take posted events and paint.
    static void Settle() { QCoreApplication::processEvents(); }

    // The console runs of a frame report for each frame, as the receive path
    // hands them to the console.
    std::vector<std::vector<ConsoleRun>> Reports(const std::vector<std::string>& frames)
    {
        std::vector<std::vector<ConsoleRun>> reports;
        ReceiveState rx;
        DecoderState dec;
        for (const std::string& frame : frames)
            for (const char c : frame)
                if (AssembleByte(rx, static_cast<std::uint8_t>(c)) == Assembled::Frame)
                    reports.push_back(ReportFrame(rx, dec, true, form->Configuration, clock).console);
        return reports;
    }

    test::TempDir dir{"quillon-bench"};
    test::Pty com1;
    test::Pty com2;
    FakeClock clock{std::chrono::sys_days{std::chrono::year{2013} / 7 / 28} + std::chrono::hours{14}};
    FakeClockSetter clockSetter;
    std::unique_ptr<Form1> form;
};

}  // namespace quillon::bench
