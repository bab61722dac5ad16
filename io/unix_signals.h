// SIGTERM, SIGINT and SIGHUP delivered as a Qt signal from the event loop:
// the handler only writes the signal number into a pipe.
#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace quillon {

class UnixSignals : public QObject {
    Q_OBJECT
public:
    explicit UnixSignals(QObject* parent = nullptr);
    ~UnixSignals() override;

    // Whether a signal has come that Received has not yet been emitted for:
    // a handler that cannot return to the event loop for a while (a port's
    // close waiting for output) looks at this to cut its wait short.
    static bool Pending();

signals:
    void Received(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quillon
