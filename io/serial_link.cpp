#include "serial_link.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <cerrno>

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

SerialLink::SerialLink(std::int16_t port, QString programDir, QObject* parent)
    : Link(parent), programDir_(std::move(programDir)), port_(this), portNumber_(port)
{
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::OnError);
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

void SerialLink::OpenDevice(bool again)
{
    // Again: the same entry or device; a COMn link is followed afresh, so a
    // link that now leads to another device takes the port there.
    if (!again || device_.isEmpty())
        device_ = DevicePath();
    port_.setPortName(device_);
    Apply(port_, settings_);
    port_.setFlowControl(rtsCts_ ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        DeviceGone(port_.errorString());
        return;
    }
    if (!Ended()) {
        if (!lineEvents_) {
            lineEvents_ = new LineEventSource(this);
            connect(lineEvents_, &LineEventSource::Event, this, &SerialLink::DeviceEvent);
        }
        lineEvents_->Start(int(port_.handle()));
    }
    DeviceOpened();
}

void SerialLink::CloseDevice()
{
    if (lineEvents_)
        lineEvents_->Stop();
    port_.close();
}

bool SerialLink::WaitForWritten(int ms)
{
    port_.clearError();
    return port_.waitForBytesWritten(ms) || port_.error() == QSerialPort::TimeoutError;
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
    DeviceGone(reason);
}

}  // namespace quillon
