// A serial port as a link, on QSerialPort inside the Qt event loop.
//
// Port numbers map to devices through the program folder: COM n opens the
// entry named "COMn" there when one exists (typically a symbolic link to
// /dev/ttyUSB0, to a /dev/serial/by-id/ name or to a pseudo-terminal), else
// /dev/ttyS(n-1).
//
// A port whose device is not there (a USB TNC not plugged in yet) or goes
// away while it is open (unplugged, the far side of a pseudo-terminal closed)
// is lost; it is reopened with the same settings on the same entry or
// device. A COMn link is followed afresh at each try, and waited for while
// it is gone, never replaced by /dev/ttyS(n-1).
#pragma once

#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <string>

#include "link.h"
#include "tnc/serial_settings.h"

namespace quillon {

class LineEventSource;

class SerialLink final : public Link {
    Q_OBJECT
public:
    SerialLink(std::int16_t port, QString programDir, QObject* parent = nullptr);
    ~SerialLink() override;

    std::string Name() const override { return "COM " + std::to_string(portNumber_); }

    // The set-up, while the port is closed: false when refused (a number
    // below 1, or the port open), and the number stays.
    std::int16_t PortNumber() const { return portNumber_; }
    bool SetPortNumber(std::int16_t port);
    // Baud, parity, data and stop bits; 9600,N,8,1 at first. Settings an
    // open port cannot take are refused and the previous ones stay; an open
    // port takes the new ones at once.
    const SerialSettings& Settings() const { return settings_; }
    bool SetSettings(const SerialSettings& settings);
    // RTS/CTS, or no handshaking.
    void SetHandshaking(bool rtsCts);

    // The device this port number opens.
    QString DevicePath() const;

private:
    QIODevice& Device() override { return port_; }
    void OpenDevice(bool again) override;
    void CloseDevice() override;
    bool WaitForWritten(int ms) override;
    void OnError(QSerialPort::SerialPortError error);

    QString programDir_;
    QSerialPort port_;
    std::int16_t portNumber_;
    SerialSettings settings_;
    bool rtsCts_ = false;
    LineEventSource* lineEvents_ = nullptr;
    QString device_;  // the entry or device of the last open
};

}  // namespace quillon
