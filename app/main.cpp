// Quillon: a receive terminal and logger for a KISS TNC.
#include <QApplication>
#include <QIcon>
#include <QPointer>

#include "app/form1.h"
#include "platform/unix_signals.h"

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

    QPointer<quillon::Form1> form = new quillon::Form1(environment);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->Form_Load();
    form->show();

    // A signal to end the run closes the main window as its close box does.
    quillon::UnixSignals signals_;
    QObject::connect(&signals_, &quillon::UnixSignals::Received, &app, [&form] {
        if (form)
            form->close();
    });
    return app.exec();
}
