#include "serial_port.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include "line_events.h"
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
}

MSComm::~MSComm()
{
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
    if (open == port_.isOpen())
        return true;
    if (!open) {
        if (lineEvents_)
            lineEvents_->Stop();
        // What was queued last (the exit script at the end of a run) still
        // goes out; a device that takes nothing holds the close up for two
        // seconds at most.
        QDeadlineTimer deadline(2000);
        while (port_.bytesToWrite() > 0 && !deadline.hasExpired() &&
               port_.waitForBytesWritten(int(deadline.remainingTime()))) {
        }
        port_.close();
        return true;
    }
    port_.setPortName(DevicePath());
    Apply(port_, ParseSerialSettings(settings_).value_or(SerialSettings{}));
    port_.setFlowControl(handshaking_ == 2 ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite))
        return false;
    if (!lineEvents_) {
        lineEvents_ = new LineEventSource(this);
        connect(lineEvents_, &LineEventSource::Event, this, &MSComm::Raise);
    }
    lineEvents_->Start(int(port_.handle()));
    return true;
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

bool MSComm::Output(std::string_view bytes)
{
    if (!port_.isOpen())
        return false;
    return port_.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

void MSComm::Raise(int code)
{
    commEvent_ = code;
    emit OnComm();
}

void MSComm::HandleError(QSerialPort::SerialPortError error)
{
    // A device that went away (a USB TNC unplugged, the far side of a
    // pseudo-terminal closed) keeps reporting read errors as fast as the
    // event loop turns; the port is closed at the first one and reads closed
    // from then on.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
        if (lineEvents_)
            lineEvents_->Stop();
        port_.close();
    }
}

}  // namespace quillon
