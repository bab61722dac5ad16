// The main window in-process for the console and status-box benchmarks: a
// throw-away program folder whose COM1 and COM2 are pseudo-terminals held
// here, a clock the benchmark moves and a clock setter that only records.
// The window is shown (on the offscreen platform under scripts/bench) and
// painted whenever the benchmark lets the event loop run.
#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/receiver.h"
#include "fakes.h"
#include "frames.h"
#include "form1.h"
#include "program.h"
#include "pseudo_terminal.h"

namespace quillon::bench {

class BenchWindow {
public:
    BenchWindow()
    {
        QFile::link(QString::fromStdString(com1.SlavePath()), dir.filePath(QStringLiteral("COM1")));
        QFile::link(QString::fromStdString(com2.SlavePath()), dir.filePath(QStringLiteral("COM2")));
        test::WriteFile(dir.filePath(QStringLiteral("quillon.ini")).toStdString(),
                        "COM_PORT=1\r\nMIRROR_COM_PORT=2\r\nHEXFILE=YES\r\n");
        Environment env;
        env.programDir = dir.path();
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

    // The console runs of each frame's report with the window's options.
    std::vector<std::vector<ConsoleRun>> Reports(const std::vector<std::string>& frames)
    {
        return test::ReportRuns(test::Joined(frames), form->ReceivePipeline.Options().report);
    }

    QTemporaryDir dir;
    Pty com1;
    Pty com2;
    test::FakeClock clock{test::At(std::chrono::hours{14})};
    test::FakeClockSetter clockSetter;
    std::unique_ptr<Form1> form;
};

}  // namespace quillon::bench
