#include "serial_port.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "line_events.h"
#include "unix_signals.h"
#include "tnc/serial_settings.h"

namespace quillon {

namespace {

QSerialPort::Parity ToQt(SerialSettings::Parity p)
{
    switch (p) {
    case SerialSettings::Parity::Even: return QSerialPort::EvenParity;
    case SerialSettings::Parity::Odd: return QSerialPort::OddParity;
    case SerialSettings::Parity::Mark: return QSerialPort::MarkParity;
    case SerialSettings::Parity::Space: return QSerialPort::SpaceParity;
    case SerialSettings::Parity::None: break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits ToQt(SerialSettings::StopBits s)
{
    switch (s) {
    case SerialSettings::StopBits::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case SerialSettings::StopBits::Two: return QSerialPort::TwoStop;
    case SerialSettings::StopBits::One: break;
    }
    return QSerialPort::OneStop;
}

bool Apply(QSerialPort& port, const SerialSettings& s)
{
    bool ok = port.setBaudRate(s.baud);
    ok = port.setParity(ToQt(s.parity)) && ok;
    ok = port.setDataBits(QSerialPort::DataBits(s.dataBits)) && ok;
    ok = port.setStopBits(ToQt(s.stopBits)) && ok;
    return ok;
}

}  // namespace

MSComm::MSComm(std::int16_t initialPort, QString programDir, QObject* parent)
    : QObject(parent), programDir_(std::move(programDir)), port_(this), commPort_(initialPort)
{
    connect(&port_, &QSerialPort::readyRead, this, [this] { Raise(comm_event::Receive); });
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::HandleError);
    reopenTimer_.setInterval(kReopenInterval);
    connect(&reopenTimer_, &QTimer::timeout, this, &MSComm::TryReopen);
}

MSComm::~MSComm()
{
    StopEvents();
    SetPortOpen(false);
}

bool MSComm::PortOpen() const
{
    return port_.isOpen();
}

QString MSComm::DevicePath() const
{
    const QString link = QDir(programDir_).filePath(QStringLiteral("COM%1").arg(commPort_));
    const QFileInfo entry(link);
    if (entry.exists() || entry.isSymLink())
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(commPort_ - 1);
}

bool MSComm::SetPortOpen(bool open)
{
    // The program's own choice: a loss is forgotten once the port is open
    // again or closed on purpose.
    if (!open) {
        lost_ = false;
        reopenTimer_.stop();
    }
    if (open == port_.isOpen())
        return true;
    if (!open) {
        Close();
        return true;
    }
    if (!Open(DevicePath()))
        return false;
    if (lost_) {
        lost_ = false;
        reopenTimer_.stop();
        emit Reopened();
    }
    return true;
}

bool MSComm::Open(const QString& device)
{
    port_.setPortName(device);
    Apply(port_, ParseSerialSettings(settings_).value_or(SerialSettings{}));
    port_.setFlowControl(handshaking_ == 2 ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite))
        return false;
    device_ = device;
    if (stopped_)
        return true;
    if (!lineEvents_) {
        lineEvents_ = new LineEventSource(this);
        connect(lineEvents_, &LineEventSource::Event, this, &MSComm::Raise);
    }
    lineEvents_->Start(int(port_.handle()));
    return true;
}

void MSComm::Close()
{
    if (lineEvents_)
        lineEvents_->Stop();
    // What was queued last (the exit script at the end of a run) still goes
    // out; a device that takes nothing holds the close up for two seconds at
    // most, and a signal to end the program, waiting to be taken up, cuts
    // the wait short. Waiting in slices keeps an eye on the signals; a wait
    // that fails for another reason than time ends it.
    closing_ = true;
    QDeadlineTimer deadline(2000);
    while (port_.isOpen() && port_.bytesToWrite() > 0 && !deadline.hasExpired() && !UnixSignals::Pending()) {
        port_.clearError();
        if (!port_.waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 50))) &&
            port_.error() != QSerialPort::TimeoutError)
            break;
    }
    port_.close();
    closing_ = false;
}

void MSComm::SetReopening(bool on)
{
    reopening_ = on && !stopped_;
    if (reopening_ && lost_)
        reopenTimer_.start();
    else
        reopenTimer_.stop();
}

void MSComm::StopEvents()
{
    stopped_ = true;
    SetReopening(false);
    if (lineEvents_)
        lineEvents_->Stop();
}

void MSComm::TryReopen()
{
    // The same number, settings and entry; a COMn link is followed afresh,
    // so a link that now leads to another device takes the port there. A
    // link that is gone for a while (a bridge that removes it when its
    // connection drops) is waited for, never replaced by /dev/ttyS(n-1). A
    // failed try says nothing: the next one comes at the next interval.
    if (!lost_ || !reopening_ || port_.isOpen() || !Open(device_))
        return;
    lost_ = false;
    reopenTimer_.stop();
    emit Reopened();
}

bool MSComm::SetCommPort(std::int16_t port)
{
    if (port < 1 || port_.isOpen())
        return false;
    commPort_ = port;
    return true;
}

bool MSComm::SetSettings(const std::string& settings)
{
    const std::optional<SerialSettings> parsed = ParseSerialSettings(settings);
    if (!parsed)
        return false;
    if (port_.isOpen() && !Apply(port_, *parsed)) {
        Apply(port_, ParseSerialSettings(settings_).value_or(SerialSettings{}));
        return false;
    }
    settings_ = settings;
    return true;
}

bool MSComm::SetHandshaking(int mode)
{
    if (mode != 0 && mode != 2)
        return false;
    handshaking_ = mode;
    if (port_.isOpen())
        port_.setFlowControl(mode == 2 ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    return true;
}

std::string MSComm::Input()
{
    if (!port_.isOpen())
        return {};
    const QByteArray bytes = port_.readAll();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

void MSComm::DiscardInput()
{
    if (port_.isOpen())
        port_.skip(port_.bytesAvailable());
}

bool MSComm::Output(std::string_view bytes)
{
    if (!port_.isOpen())
        return false;
    return port_.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

void MSComm::Raise(int code)
{
    if (stopped_) {
        DiscardInput();
        return;
    }
    commEvent_ = code;
    emit OnComm();
}

void MSComm::HandleError(QSerialPort::SerialPortError error)
{
    // A device that went away keeps reporting read errors as fast as the
    // event loop turns: the port is closed at the first one and reported
    // lost once.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || !port_.isOpen())
        return;
    // A device that hung up reads as the end of a file, without an error of
    // its own; an empty write asks the device for it ("Input/output error").
    QString reason = port_.errorString();
    if (::write(int(port_.handle()), "", 0) < 0)
        reason = qt_error_string(errno);
    if (lineEvents_)
        lineEvents_->Stop();
    port_.close();
    if (stopped_ || closing_)
        return;
    lost_ = true;
    if (reopening_)
        reopenTimer_.start();
    emit Lost(reason);
}

}  // namespace quillon
