// A link: where the station's bytes come from and go to (the TNC's serial
// port or KISS server, the mirror port). The station knows its links only
// through this class, so the receive path reads any kind of link alike.
//
// What every link does is here; a kind of link (SerialLink, TcpLink) only
// opens and closes its device, a QIODevice that this class reads and writes:
//
// - Open tries the device. One that is there now is open at once; one that
//   opens in the background (a connection) is open when it says so. A device
//   that is not there, or goes away while open, is lost: said once (Lost,
//   with the system's reason), and while reopening is on it is tried again
//   every two seconds, quietly, until it is back (Back, said once). A first
//   open that fails while reopening is off leaves the link closed, silently.
// - A link that backs off (SetBackOff; a network link does) waits longer
//   after every try that fails: 2, 4, 8 ... 60 s (tnc/back_off.h). A try
//   fails when it is refused, or when the connection it made ends before it
//   has lasted a minute; one that lasted starts the schedule afresh when it
//   ends. While away it says Reconnecting at most once a minute instead of
//   a loss and a return at every try: once a connection has been dropped at
//   once (before it lasted a minute or brought a byte: a server that accepts
//   and closes), the next one is said to be back (Back) only when it has
//   lasted a minute.
// - Write queues a block and returns at once; a block that would take the
//   queue past its limit (a device that does not read) is refused whole, and
//   "Transmit Buffer full" is said at the first refusal, again only once the
//   queue has drained to half the limit.
// - At the end of a run EndOfRun: from then on nothing is delivered and
//   nothing is reopened, but what is written still goes out, and Close waits
//   for it two seconds at most.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "tnc/back_off.h"
#include "tnc/serial_events.h"

namespace quillon {

class Link : public QObject {
    Q_OBJECT
public:
    enum class State {
        Closed,  // never opened, or closed on purpose
        Open,
        Lost,  // its device went away, is not there yet, or is being reached
    };

    static constexpr std::chrono::milliseconds kReopenInterval{2000};
    static constexpr qint64 kWriteQueueLimit = 1024 * 1024;
    static constexpr std::chrono::milliseconds kDrainLimit{2000};

    explicit Link(QObject* parent = nullptr);
    // A kind of link closes its device in its own destructor (CloseDevice is
    // no longer there to call here).
    ~Link() override;

    // False when the link is closed after it: the device is not there and
    // reopening is off.
    bool Open();
    // Closes the link and forgets a loss. What was written last still goes
    // out: the close waits for it, kDrainLimit at most, and less when
    // `giveUp` says so (a second request to end the program).
    void Close(const std::function<bool()>& giveUp = {});
    // Queues the bytes whole and returns at once; false when the link is not
    // open or the queue has no room for all of them.
    bool Write(std::string_view bytes);
    State GetState() const { return state_; }
    bool IsOpen() const { return state_ == State::Open; }
    // The bytes written and not yet taken by the device.
    qint64 BytesWaiting() const;
    // Whether a lost link is tried again until it is back (off at first).
    void SetReopening(bool on);
    // Tries again on this schedule instead of every kReopenInterval; nothing:
    // the fixed interval (at first).
    void SetBackOff(std::optional<BackOff> backOff) { backOff_ = backOff; }
    // The system's word for the last time the device went away or could not
    // be opened (a first open that failed silently too); empty before.
    QString LastFailure() const { return lastFailure_; }
    // For good, at the end of the run: see above.
    void EndOfRun();
    bool Ended() const { return endOfRun_; }

    // How the user knows the link: "COM 1".
    virtual std::string Name() const = 0;
    // The status line of a return (Back): "COM 1 reopened".
    virtual std::string BackLine() const { return LinkReopenedLine(Name()); }

signals:
    // Bytes as they came, in order.
    void Received(const QByteArray& bytes);
    // A line or error event of the link, by its event code (serial_events.h).
    void LineEvent(int code);
    // The device went away, or was not there; `reason` is the system's word.
    void Lost(const QString& reason);
    // A lost link is open again (or one that opens in the background, open).
    void Back();
    // A link that backs off is still away after `tries` tries since its loss
    // was said; at most once every BackOff::sayEvery.
    void Reconnecting(int tries);

protected:
    // The device this link reads and writes.
    virtual QIODevice& Device() = 0;
    // Starts opening the device, and says how it went with DeviceOpened or
    // DeviceGone, at once or later. `again`: a reopening after a loss, on the
    // same device as before.
    virtual void OpenDevice(bool again) = 0;
    // Closes the device at once, dropping what it holds.
    virtual void CloseDevice() = 0;
    // After a loss; by default CloseDevice.
    virtual void DropDevice() { CloseDevice(); }
    // Waits up to `ms` for queued bytes to go out; false when the device
    // failed (a timeout is no failure).
    virtual bool WaitForWritten(int ms) = 0;

    // What the device tells: it is open (or connected); it is gone, or could
    // not be opened or reached. A second word of the same outcome is ignored.
    void DeviceOpened();
    void DeviceGone(const QString& reason);
    // A line event of the device; dropped at the end of the run.
    void DeviceEvent(int code);
    // What the device still holds when it goes: delivered unless the run is over.
    void DeliverWaiting();

private:
    void TryReopen();
    void OnReadyRead();
    void StartReopenTimer();
    // A connection of a link that backs off has lasted: the schedule starts afresh.
    void OnSteady();

    State state_ = State::Closed;
    bool opening_ = false;   // an open under way
    bool inOpen_ = false;    // inside Open: an outcome known at once is no return
    bool lossSaid_ = false;  // the loss has been said since the link was last open
    bool reopening_ = false;
    bool endOfRun_ = false;
    bool full_ = false;  // a block was refused; said so already
    QTimer reopenTimer_;
    QMetaObject::Connection reading_;
    // Backing off: the tries that failed in a row, the tries since the loss
    // was said, and since when the device is open and the link last spoke.
    std::optional<BackOff> backOff_;
    int failedTries_ = 0;
    int tries_ = 0;
    bool droppedAtOnce_ = false;  // since the loss: a return is said once it lasts
    bool brought_ = false;        // the connection has delivered bytes
    bool backUnsaid_ = false;     // open, its return not said yet
    QElapsedTimer openedAt_, saidAt_;
    QTimer steadyTimer_;
    QString lastFailure_;
};

}  // namespace quillon
