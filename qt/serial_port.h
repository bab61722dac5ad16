// A serial port with the properties and the single event that the program
// relies on, on QSerialPort inside the Qt event loop.
//
// Port numbers map to devices through the program folder: COM n opens the
// entry named "COMn" there when one exists (typically a symbolic link to
// /dev/ttyUSB0, to a /dev/serial/by-id/ name or to a pseudo-terminal), else
// /dev/ttyS(n-1).
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

class LineEventSource;

// Event codes delivered in CommEvent.
namespace comm_event {
inline constexpr int Receive = 2;
}

class MSComm : public QObject {
    Q_OBJECT
public:
    MSComm(std::int16_t initialPort, QString programDir, QObject* parent = nullptr);
    ~MSComm() override;

    bool PortOpen() const;
    // Opens or closes the port; false when that failed (the port then stays
    // as it was).
    bool SetPortOpen(bool open);

    std::int16_t CommPort() const { return commPort_; }
    bool SetCommPort(std::int16_t port);

    // "baud,parity,databits,stopbits", e.g. "9600,N,8,1"; parity N, E, O, M
    // or S; stop bits 1, 1.5 or 2. A text the port cannot take is refused and
    // the previous settings stay.
    std::string Settings() const { return settings_; }
    bool SetSettings(const std::string& settings);

    // 0 none, 2 RTS/CTS.
    bool SetHandshaking(int mode);

    // Kept for the set-up sequence: reads always take every waiting byte, as
    // bytes, with zero bytes kept.
    void SetInputLen(int n) { inputLen_ = n; }
    void SetInputMode(int mode) { inputMode_ = mode; }
    void SetNullDiscard(bool discard) { nullDiscard_ = discard; }

    // Every byte waiting, in order of arrival; they leave the receive buffer.
    std::string Input();
    // Queues the bytes and returns at once; false when the port is not open
    // or refused them.
    bool Output(std::string_view bytes);

    // The code of the event being delivered (2 = bytes received, the line and
    // error codes of the event table otherwise).
    int CommEvent() const { return commEvent_; }

    // The device this port number opens.
    QString DevicePath() const;

signals:
    void OnComm();

private:
    void Raise(int code);
    void HandleError(QSerialPort::SerialPortError error);

    QString programDir_;
    QSerialPort port_;
    std::int16_t commPort_;
    std::string settings_ = "9600,N,8,1";
    int handshaking_ = 0;
    int inputLen_ = 0;
    int inputMode_ = 0;
    bool nullDiscard_ = false;
    int commEvent_ = 0;
    LineEventSource* lineEvents_ = nullptr;
};

}  // namespace quillon
