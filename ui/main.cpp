// Quillon: a receive terminal and logger for a KISS TNC.
#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <vector>

#include "form1.h"
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

    quillon::Environment environment;
    environment.programDir = QCoreApplication::applicationDirPath();
    // QUILLON_STATUS_TO_STDERR=1 copies the status box to standard error;
    // QUILLON_TIME_PORT points the time-server query at another port than 37
    // (a test server that is not allowed a privileged port).
    environment.echoStatus = qEnvironmentVariableIntValue("QUILLON_STATUS_TO_STDERR") == 1;
    if (const int port = qEnvironmentVariableIntValue("QUILLON_TIME_PORT"); port > 0 && port < 65536)
        environment.timeServerPort = quint16(port);
    // A signal to end the run (SIGTERM, SIGINT, SIGHUP) closes the main window
    // as its close box does; the program then ends with its last window. The
    // statistics or about window may keep it going, so a second signal, or one
    // that comes when the main window has already gone, ends the program at
    // once: a service manager can always stop it. The handlers are in place
    // before start-up, so a signal that comes during it is taken up as soon
    // as the event loop runs.
    QPointer<quillon::Form1> form;
    bool closing = false;
    quillon::UnixSignals signals_;
    QObject::connect(&signals_, &quillon::UnixSignals::Received, &app, [&form, &closing] {
        if (form && !closing) {
            closing = true;
            form->close();
            return;
        }
        QCoreApplication::exit(0);
    });

    form = new quillon::Form1(environment);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->Form_Load();
    form->show();

    const int code = app.exec();
    DeleteRemainingWindows();
    return code;
}
