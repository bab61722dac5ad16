#include "line_events.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <QPointer>

namespace quillon {

namespace {

std::optional<ModemLines> ReadModemLines(int fd)
{
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0)
        return std::nullopt;
    return ModemLines{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_CD) != 0, (bits & TIOCM_RI) != 0};
}

std::optional<LineCounters> ReadLineCounters(int fd)
{
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return std::nullopt;
    // The kernel counts in int; read as unsigned, its wrap past INT_MAX
    // still reads as a rise.
    auto u = [](int n) { return std::uint32_t(n); };
    return LineCounters{u(ic.cts),   u(ic.dsr),     u(ic.dcd),         u(ic.rng),   u(ic.brk),
                        u(ic.frame), u(ic.overrun), u(ic.buf_overrun), u(ic.parity)};
}

}  // namespace

LineReaders PortLineReaders(int fd)
{
    return {[fd] { return ReadModemLines(fd); }, [fd] { return ReadLineCounters(fd); }};
}

LineEventSource::LineEventSource(QObject* parent) : QObject(parent)
{
    timer_.setInterval(kDefaultInterval);
    connect(&timer_, &QTimer::timeout, this, &LineEventSource::Poll);
}

void LineEventSource::SetInterval(std::chrono::milliseconds interval) { timer_.setInterval(interval); }

void LineEventSource::Start(int fd) { Start(PortLineReaders(fd)); }

void LineEventSource::Start(LineReaders readers)
{
    Stop();
    readers_ = std::move(readers);
    last_ = Read(true, true);
    if (last_.lines || last_.counters)
        timer_.start();
}

void LineEventSource::Stop()
{
    timer_.stop();
    readers_ = {};
    last_ = {};
}

LineSnapshot LineEventSource::Read(bool lines, bool counters) const
{
    LineSnapshot s;
    if (lines && readers_.lines)
        s.lines = readers_.lines();
    if (counters && readers_.counters)
        s.counters = readers_.counters();
    return s;
}

void LineEventSource::Poll()
{
    const LineSnapshot now = Read(last_.lines.has_value(), last_.counters.has_value());
    const std::vector<int> codes = LineEventCodes(last_, now);
    last_ = now;
    if (!last_.lines && !last_.counters)
        timer_.stop();
    // A receiver may stop the source, or close the port, on any event.
    const QPointer<LineEventSource> alive(this);
    for (int code : codes) {
        emit Event(code);
        if (!alive || !Watching())
            return;
    }
}

}  // namespace quillon
