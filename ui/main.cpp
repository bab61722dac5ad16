// Quillon: a receive terminal and logger for a KISS TNC.
//
//   quillon                        the window
//   quillon --headless [--monitor] the same station without a window
//   quillon --help | --version
//
// The command line is read before Qt starts, so that --help, --version and
// a bad option need no display.
#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/command_line.h"
#include "headless_run.h"
#include "line_output.h"
#include "main_window.h"
#include "process_environment.h"
#include "station.h"
#include "unix_signals.h"

namespace {

constexpr const char* kUsage =
    "usage: quillon [--headless [--monitor]]\n"
    "\n"
    "A receive terminal and logger for a KISS TNC. Settings, scripts and logs\n"
    "are in the folder of the program.\n"
    "\n"
    "  --headless  run without a window: status lines on standard output;\n"
    "              SIGTERM or SIGINT end the run, SIGHUP reopens the logs\n"
    "  --monitor   with --headless: also one line per frame\n"
    "  --help      this text\n"
    "  --version   the version\n"
    "\n"
    "Qt's options (-platform offscreen, ...) are passed on to Qt.\n";

struct Options {
    bool headless = false;
    bool monitor = false;
};

// Exits for --help, --version and a bad command line.
Options ReadCommandLine(int argc, char** argv)
{
    const quillon::CommandLine commandLine("quillon", kUsage);
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        commandLine.HandleStandardOption(arg);
        if (std::strcmp(arg, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(arg, "--monitor") == 0) {
            options.monitor = true;
        } else if (arg[0] == '-' && arg[1] != '-' && arg[1] != '\0') {
            // Qt's own options (-platform offscreen, -style fusion, ...) are
            // Qt's to read, with the value behind them.
            if (i + 1 < argc && argv[i + 1][0] != '-')
                ++i;
        } else {
            commandLine.UnknownOption(arg);
        }
    }
    if (options.monitor && !options.headless)
        commandLine.Misuse();
    return options;
}

// Windows still open when a signal ended the program, and a main window whose
// deletion was still pending, go before the application object.
void DeleteRemainingWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<QPointer<QWidget>> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (!widget->parentWidget())
            windows.emplace_back(widget);
    for (const QPointer<QWidget>& window : windows)
        delete window.data();
}

int RunWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillon.png")));
    // The status lines and log failures that standard error is told never
    // hold the window up.
    quillon::StandardStreams streams;
    quillon::FixedClock logClock;
    quillon::Station station(quillon::ProcessEnvironment(logClock));

    // A signal to end the run (SIGTERM, SIGINT, SIGHUP) closes the main window
    // as its close box does; the program then ends with its last window. The
    // statistics or about window may keep it going, so a second signal, or one
    // that comes when the main window has already gone, ends the program at
    // once: a service manager can always stop it. The handlers are in place
    // before start-up, so a signal that comes during it is taken up as soon
    // as the event loop runs.
    QPointer<quillon::MainWindow> window;
    bool closing = false;
    quillon::UnixSignals signals_;
    QObject::connect(&signals_, &quillon::UnixSignals::Received, &app, [&window, &closing] {
        if (window && !closing) {
            closing = true;
            window->close();
            return;
        }
        QCoreApplication::exit(0);
    });

    window = new quillon::MainWindow(station);
    window->setAttribute(Qt::WA_DeleteOnClose);
    station.Start();
    window->show();

    const int code = app.exec();
    DeleteRemainingWindows();
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    // A file size limit (ulimit -f) makes a write that crosses it fail with
    // EFBIG, which the logs and the console's file take as a full disk;
    // the signal it also raises would end the run.
    std::signal(SIGXFSZ, SIG_IGN);
    const Options options = ReadCommandLine(argc, argv);
    if (options.headless)
        return quillon::RunHeadless(argc, argv, options.monitor);
    return RunWindow(argc, argv);
}
