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

signals:
    void Received(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quillon
