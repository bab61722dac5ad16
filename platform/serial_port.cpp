#include "platform/serial_port.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <charconv>
#include <vector>

#include "platform/line_events.h"

namespace quillon {

namespace {

struct ParsedSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

std::vector<std::string> SplitCommas(const std::string& s)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto comma = s.find(',', start);
        parts.push_back(s.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

// "9600,N,8,1": baud, parity letter, data bits, stop bits.
bool ParseSettings(const std::string& text, ParsedSettings& out)
{
    const auto parts = SplitCommas(text);
    if (parts.size() != 4)
        return false;
    const std::string& baud = parts[0];
    const auto [end, error] = std::from_chars(baud.data(), baud.data() + baud.size(), out.baud);
    if (error != std::errc() || end != baud.data() + baud.size() || out.baud <= 0)
        return false;

    if (parts[1] == "N" || parts[1] == "n") out.parity = QSerialPort::NoParity;
    else if (parts[1] == "E" || parts[1] == "e") out.parity = QSerialPort::EvenParity;
    else if (parts[1] == "O" || parts[1] == "o") out.parity = QSerialPort::OddParity;
    else if (parts[1] == "M" || parts[1] == "m") out.parity = QSerialPort::MarkParity;
    else if (parts[1] == "S" || parts[1] == "s") out.parity = QSerialPort::SpaceParity;
    else return false;

    if (parts[2] == "5") out.dataBits = QSerialPort::Data5;
    else if (parts[2] == "6") out.dataBits = QSerialPort::Data6;
    else if (parts[2] == "7") out.dataBits = QSerialPort::Data7;
    else if (parts[2] == "8") out.dataBits = QSerialPort::Data8;
    else return false;

    if (parts[3] == "1") out.stopBits = QSerialPort::OneStop;
    else if (parts[3] == "1.5") out.stopBits = QSerialPort::OneAndHalfStop;
    else if (parts[3] == "2") out.stopBits = QSerialPort::TwoStop;
    else return false;
    return true;
}

bool Apply(QSerialPort& port, const ParsedSettings& s)
{
    bool ok = port.setBaudRate(s.baud);
    ok = port.setParity(s.parity) && ok;
    ok = port.setDataBits(s.dataBits) && ok;
    ok = port.setStopBits(s.stopBits) && ok;
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
    ParsedSettings parsed;
    ParseSettings(settings_, parsed);
    port_.setPortName(DevicePath());
    Apply(port_, parsed);
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
    ParsedSettings parsed;
    if (!ParseSettings(settings, parsed))
        return false;
    if (port_.isOpen() && !Apply(port_, parsed)) {
        ParsedSettings previous;
        ParseSettings(settings_, previous);
        Apply(port_, previous);
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
