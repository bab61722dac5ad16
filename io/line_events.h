// Line changes and receive errors of an open serial port, as event codes.
//
// Linux has no event for them that fits a single-threaded event loop (the
// waiting ioctl, TIOCMIWAIT, blocks its thread), so the port is read a few
// times a second: TIOCMGET for the present modem lines and TIOCGICOUNT for
// the driver's counters, each a cheap system call that returns at once. A
// kind of reading the driver refuses (a pseudo-terminal refuses both) is
// noticed at the first attempt and never tried again; with neither left the
// timer stops.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

#include "tnc/line_event_codes.h"

namespace quillon {

// The two readings of a port; each gives nothing when it cannot be made.
struct LineReaders {
    std::function<std::optional<ModemLines>()> lines;
    std::function<std::optional<LineCounters>()> counters;
};

// TIOCMGET and TIOCGICOUNT on the descriptor of an open serial port.
LineReaders PortLineReaders(int fd);

class LineEventSource : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultInterval{200};

    explicit LineEventSource(QObject* parent = nullptr);

    void SetInterval(std::chrono::milliseconds interval);

    // Starts watching an open port's descriptor; the state at this moment
    // is the base, so what happened before raises nothing. Call Stop before
    // the descriptor is closed.
    void Start(int fd);
    void Start(LineReaders readers);
    void Stop();

    // Whether a reading is still made at every interval.
    bool Watching() const { return timer_.isActive(); }

signals:
    void Event(int code);

private:
    void Poll();
    LineSnapshot Read(bool lines, bool counters) const;

    LineReaders readers_;
    LineSnapshot last_;
    QTimer timer_;
};

}  // namespace quillon
