// A serial port with the properties and the single event that the program
// relies on, on QSerialPort inside the Qt event loop.
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

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <chrono>
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
    // as it was). Closing waits up to two seconds for queued output to go out.
    bool SetPortOpen(bool open);

    // Whether a lost port is opened again (off at first). Turned on while
    // the port is lost, the tries begin.
    void SetReopening(bool on);
    static constexpr std::chrono::milliseconds kReopenInterval{2000};

    // For good, at the end of the run: nothing more is delivered, neither
    // bytes nor line events, and a lost port is not reopened. Bytes that still
    // arrive are dropped; output still goes out, and the port still closes.
    void StopEvents();

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
    // Drops every byte waiting, unread.
    void DiscardInput();
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
    // The device went away; `reason` is the system's word for it.
    void Lost(const QString& reason);
    // A lost port is open again.
    void Reopened();

private:
    bool Open(const QString& device);
    void Close();
    void TryReopen();
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
    QString device_;  // the entry or device of the last open
    QTimer reopenTimer_;
    bool lost_ = false;
    bool reopening_ = false;
    bool stopped_ = false;
    bool closing_ = false;
};

}  // namespace quillon
