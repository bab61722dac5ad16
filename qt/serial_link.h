// A serial port as a link, on QSerialPort inside the Qt event loop.
//
// Port numbers map to devices through the program folder: COM n opens the
// entry named "COMn" there when one exists (typically a symbolic link to
// /dev/ttyUSB0, to a /dev/serial/by-id/ name or to a pseudo-terminal), else
// /dev/ttyS(n-1).
//
// A port whose device goes away while it is open (a USB TNC unplugged, the
// far side of a pseudo-terminal closed) is closed and reported lost; while
// reopening is on, it is then opened again every two seconds with the same
// settings on the same entry or device, until that succeeds. A COMn link is
// followed afresh at each try, and waited for while it is gone.
#pragma once

#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "link.h"
#include "tnc/serial_settings.h"

namespace quillon {

class LineEventSource;

class SerialLink final : public Link {
    Q_OBJECT
public:
    SerialLink(std::int16_t initialPort, QString programDir, QObject* parent = nullptr);
    ~SerialLink() override;

    bool Open() override;
    void Close(const std::function<bool()>& giveUp = {}) override;
    bool Write(std::string_view bytes) override;
    State GetState() const override { return state_; }
    void SetReopening(bool on) override;
    void EndOfRun() override;
    std::string Name() const override { return "COM " + std::to_string(portNumber_); }

    static constexpr std::chrono::milliseconds kReopenInterval{2000};

    // At most this much waits for a device that does not read (nothing
    // attached with RTS/CTS, a bridge that stalls): Write refuses a block
    // that would take the queue past it, whole, and says "Transmit Buffer
    // full" (LineEvent TransmitBufferFull) at the first refusal; again only
    // once the queue has drained to half the limit.
    static constexpr qint64 kWriteQueueLimit = 1024 * 1024;
    // The bytes written and not yet taken by the device.
    qint64 BytesWaiting() const { return port_.isOpen() ? port_.bytesToWrite() : 0; }

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
    bool OpenDevice(const QString& device);
    void TryReopen();
    void OnReadyRead();
    void OnLineEvent(int code);
    void OnError(QSerialPort::SerialPortError error);

    QString programDir_;
    QSerialPort port_;
    State state_ = State::Closed;
    std::int16_t portNumber_;
    SerialSettings settings_;
    bool rtsCts_ = false;
    LineEventSource* lineEvents_ = nullptr;
    QString device_;  // the entry or device of the last open
    QTimer reopenTimer_;
    bool reopening_ = false;
    bool endOfRun_ = false;
    bool closing_ = false;  // a loss while closing is no loss
    bool full_ = false;     // a block was refused; said so already
};

}  // namespace quillon
