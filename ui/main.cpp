// Quillon: a receive terminal and logger for a KISS TNC.
#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <vector>

#include "main_window.h"
#include "station.h"
#include "timesvc/timesvc.h"
#include "unix_signals.h"

namespace {

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

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillon.png")));

    quillon::StationEnvironment environment;
    environment.programDir = QCoreApplication::applicationDirPath();
    // QUILLON_STATUS_TO_STDERR=1 copies the status box to standard error;
    // QUILLON_TIME_PORT points the time-server query at another port than 37
    // (a test server that is not allowed a privileged port);
    // QUILLON_LOG_TIME="yyyy-MM-dd HH:nn:ss.mmm" names the logs after that
    // moment instead of the start of the run (runs that must share logs).
    environment.echoStatus = qEnvironmentVariableIntValue("QUILLON_STATUS_TO_STDERR") == 1;
    if (const int port = qEnvironmentVariableIntValue("QUILLON_TIME_PORT"); port > 0 && port < 65536)
        environment.timeServerPort = quint16(port);
    quillon::FixedClock logClock;
    if (const auto t = quillon::ParseTimestamp(qEnvironmentVariable("QUILLON_LOG_TIME").toStdString())) {
        logClock.Set(*t);
        environment.logClock = &logClock;
    }
    quillon::Station station(environment);

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
    // Ended at once by a second signal: the run still ends in order.
    station.Stop();
    return code;
}
