#include "serial_link.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "line_events.h"

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

SerialLink::SerialLink(std::int16_t initialPort, QString programDir, QObject* parent)
    : Link(parent), programDir_(std::move(programDir)), port_(this), portNumber_(initialPort)
{
    connect(&port_, &QSerialPort::readyRead, this, &SerialLink::OnReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::OnError);
    reopenTimer_.setInterval(kReopenInterval);
    connect(&reopenTimer_, &QTimer::timeout, this, &SerialLink::TryReopen);
}

SerialLink::~SerialLink()
{
    EndOfRun();
    Close();
}

QString SerialLink::DevicePath() const
{
    const QString link = QDir(programDir_).filePath(QStringLiteral("COM%1").arg(portNumber_));
    const QFileInfo entry(link);
    if (entry.exists() || entry.isSymLink())
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(portNumber_ - 1);
}

bool SerialLink::Open()
{
    if (state_ == State::Open)
        return true;
    if (!OpenDevice(DevicePath()))
        return false;
    const bool wasLost = state_ == State::Lost;
    state_ = State::Open;
    reopenTimer_.stop();
    if (wasLost)
        emit Back();
    return true;
}

bool SerialLink::OpenDevice(const QString& device)
{
    port_.setPortName(device);
    Apply(port_, settings_);
    port_.setFlowControl(rtsCts_ ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite))
        return false;
    device_ = device;
    full_ = false;
    if (endOfRun_)
        return true;
    if (!lineEvents_) {
        lineEvents_ = new LineEventSource(this);
        connect(lineEvents_, &LineEventSource::Event, this, &SerialLink::OnLineEvent);
    }
    lineEvents_->Start(int(port_.handle()));
    return true;
}

void SerialLink::Close(const std::function<bool()>& giveUp)
{
    // Closed on purpose: a loss is forgotten.
    state_ = State::Closed;
    reopenTimer_.stop();
    if (!port_.isOpen())
        return;
    if (lineEvents_)
        lineEvents_->Stop();
    // What was queued last (the exit script at the end of a run) still goes
    // out; a device that takes nothing holds the close up for two seconds at
    // most, and the caller may cut the wait short. Waiting in slices keeps
    // asking it; a wait that fails for another reason than time ends it.
    closing_ = true;
    QDeadlineTimer deadline(2000);
    while (port_.isOpen() && port_.bytesToWrite() > 0 && !deadline.hasExpired() && !(giveUp && giveUp())) {
        port_.clearError();
        if (!port_.waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 50))) &&
            port_.error() != QSerialPort::TimeoutError)
            break;
    }
    port_.close();
    closing_ = false;
}

void SerialLink::SetReopening(bool on)
{
    reopening_ = on && !endOfRun_;
    if (reopening_ && state_ == State::Lost)
        reopenTimer_.start();
    else
        reopenTimer_.stop();
}

void SerialLink::EndOfRun()
{
    endOfRun_ = true;
    SetReopening(false);
    if (lineEvents_)
        lineEvents_->Stop();
}

void SerialLink::TryReopen()
{
    // The same number, settings and entry; a COMn link is followed afresh,
    // so a link that now leads to another device takes the port there. A
    // link that is gone for a while (a bridge that removes it when its
    // connection drops) is waited for, never replaced by /dev/ttyS(n-1). A
    // failed try says nothing: the next one comes at the next interval.
    if (state_ != State::Lost || !reopening_ || !OpenDevice(device_))
        return;
    state_ = State::Open;
    reopenTimer_.stop();
    emit Back();
}

bool SerialLink::SetPortNumber(std::int16_t port)
{
    if (port < 1 || port_.isOpen())
        return false;
    portNumber_ = port;
    return true;
}

bool SerialLink::SetSettings(const SerialSettings& settings)
{
    if (port_.isOpen() && !Apply(port_, settings)) {
        Apply(port_, settings_);
        return false;
    }
    settings_ = settings;
    return true;
}

void SerialLink::SetHandshaking(bool rtsCts)
{
    rtsCts_ = rtsCts;
    if (port_.isOpen())
        port_.setFlowControl(rtsCts ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
}

bool SerialLink::Write(std::string_view bytes)
{
    if (!port_.isOpen())
        return false;
    const qint64 waiting = port_.bytesToWrite();
    if (waiting <= kWriteQueueLimit / 2)
        full_ = false;
    if (waiting + qint64(bytes.size()) > kWriteQueueLimit) {
        if (!full_) {
            full_ = true;
            OnLineEvent(line_event::TransmitBufferFull);
        }
        return false;
    }
    return port_.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

void SerialLink::OnReadyRead()
{
    // At the end of the run what still arrives is dropped unread.
    if (endOfRun_) {
        port_.skip(port_.bytesAvailable());
        return;
    }
    const QByteArray bytes = port_.readAll();
    if (!bytes.isEmpty())  // a notification that found nothing waiting says nothing
        emit Received(bytes);
}

void SerialLink::OnLineEvent(int code)
{
    if (!endOfRun_)
        emit LineEvent(code);
}

void SerialLink::OnError(QSerialPort::SerialPortError error)
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
    if (endOfRun_ || closing_) {
        state_ = State::Closed;
        return;
    }
    state_ = State::Lost;
    if (reopening_)
        reopenTimer_.start();
    emit Lost(reason);
}

}  // namespace quillon
