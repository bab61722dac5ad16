// Quillon: a receive terminal and logger for a KISS TNC.
//
//   quillon [--dir DIR]                    the window
//   quillon --headless [--monitor] [--idle-lines] [--dir DIR]
//                                          the same station without a window
//   quillon --check [--dir DIR]            what quillon.ini means
//   quillon --help | --version
//
// The command line is read before Qt starts, so that --help, --version and
// a bad option need no display.
#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
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
    "usage: quillon [--headless [--monitor] [--idle-lines]] [--dir DIR]\n"
    "       quillon --check [--dir DIR]\n"
    "\n"
    "A receive terminal and logger for a KISS TNC. Settings, scripts and logs\n"
    "are in the program folder: that of the executable, or DIR.\n"
    "\n"
    "  --headless    run without a window: status lines on standard output\n"
    "                (with their journal level when that is the journal);\n"
    "                SIGTERM or SIGINT end the run, SIGHUP reopens the logs\n"
    "  --monitor     with --headless: also one line per frame\n"
    "  --idle-lines  with --headless: also the idle line once a second\n"
    "  --check       print what quillon.ini means and warn of unknown keys\n"
    "                and bad values; status 1 when anything is wrong\n"
    "  --dir DIR     the program folder (also QUILLON_DIR=DIR)\n"
    "  --help        this text\n"
    "  --version     the version\n"
    "\n"
    "Qt's options (-platform offscreen, -style fusion, ...; see quillon(1))\n"
    "are passed on to Qt.\n";

struct Options {
    bool headless = false;
    bool check = false;
    quillon::HeadlessOptions run;
};

// Qt's own options that the window passes on to Qt, as the manual page lists
// them; whether each takes a value (-platform offscreen, -style=fusion).
struct QtOption {
    std::string_view name;
    bool value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},     {"platformpluginpath", true}, {"platformtheme", true},   {"plugin", true},
    {"display", true},      {"geometry", true},           {"qwindowgeometry", true}, {"title", true},
    {"qwindowtitle", true}, {"qwindowicon", true},        {"style", true},           {"stylesheet", true},
    {"session", true},      {"reverse", false},           {"nograb", false},         {"dograb", false},
    {"sync", false},        {"widgetcount", false},
};

// Our own options, which take two dashes.
constexpr std::string_view kOwnOptions[] = {"headless", "monitor", "idle-lines", "check", "dir", "help", "version"};

// Exits for --help, --version and a bad command line.
Options ReadCommandLine(int argc, char** argv)
{
    const quillon::CommandLine commandLine("quillon", kUsage);
    Options options;
    bool monitorOrIdle = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        commandLine.HandleStandardOption(arg);
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--monitor") {
            options.run.monitor = monitorOrIdle = true;
        } else if (arg == "--idle-lines") {
            options.run.idleLines = monitorOrIdle = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--dir" || arg.starts_with("--dir=")) {
            if (arg == "--dir" && i + 1 == argc)
                commandLine.Refuse("--dir needs a folder");
            const std::string_view dir = arg == "--dir" ? std::string_view(argv[++i]) : arg.substr(6);
            options.run.dir = QString::fromLocal8Bit(dir.data(), qsizetype(dir.size()));
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
            const std::string_view name = arg.substr(1, arg.find('=') - 1);
            for (const std::string_view own : kOwnOptions)
                if (name == own)
                    commandLine.Refuse("unknown option " + std::string(arg) + " (the option is --" + std::string(own) +
                                       ")");
            const QtOption* qt = nullptr;
            for (const QtOption& o : kQtOptions)
                if (o.name == name)
                    qt = &o;
            if (!qt)
                commandLine.UnknownOption(arg);
            // Qt reads it, and the value behind it.
            if (qt->value && arg.find('=') == std::string_view::npos && i + 1 < argc)
                ++i;
        } else {
            commandLine.UnknownOption(arg);
        }
    }
    if (monitorOrIdle && !options.headless && !options.check)
        commandLine.Refuse(std::string(options.run.monitor ? "--monitor" : "--idle-lines") + " needs --headless");
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

int RunWindow(int argc, char** argv, const QString& dir)
{
    QApplication app(argc, argv);
    const auto folder = quillon::ProgramFolder(dir);
    if (!folder)
        return 2;
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillon.png")));
    // The status lines and log failures that standard error is told never
    // hold the window up.
    quillon::StandardStreams streams;
    quillon::FixedClock logClock;
    quillon::Station station(quillon::ProcessEnvironment(logClock, *folder));

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
    if (options.check)
        return quillon::RunCheck(argc, argv, options.run.dir);
    if (options.headless)
        return quillon::RunHeadless(argc, argv, options.run);
    return RunWindow(argc, argv, options.run.dir);
}
