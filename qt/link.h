// A link: where the station's bytes come from and go to (the TNC's serial
// port, the mirror port). The station knows its links only through this
// interface, so the receive path reads any kind of link alike.
//
// A link is opened once; while it is to be open (reopening on) and its
// device goes away, it says so once (Lost, with the system's reason), keeps
// trying in the background, and says so again when it is back (Back). A
// link that reaches its device over the network (TcpLink) opens in the
// background: Open only starts it, a first attempt that fails is a loss
// like any other, and the first connection is a return too. At the end of a
// run the station calls EndOfRun: from then on nothing is delivered and
// nothing is reopened, but what is written still goes out and the link
// still closes.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "tnc/serial_events.h"

namespace quillon {

class Link : public QObject {
    Q_OBJECT
public:
    enum class State {
        Closed,  // never opened, or closed on purpose
        Open,
        Lost,    // its device went away while it was open, or is not reached yet
    };

    using QObject::QObject;

    // False when it could not be opened; it then stays closed. A link that
    // opens in the background returns true at once.
    virtual bool Open() = 0;
    // Closes the link and forgets a loss. What was written last still goes
    // out: the close waits for it, two seconds at most, and less when
    // `giveUp` says so (a second request to end the program).
    virtual void Close(const std::function<bool()>& giveUp = {}) = 0;
    // Queues the bytes and returns at once; false when the link is not open
    // or refused them.
    virtual bool Write(std::string_view bytes) = 0;
    virtual State GetState() const = 0;
    bool IsOpen() const { return GetState() == State::Open; }
    // Whether a lost link is tried again until it is back (off at first).
    virtual void SetReopening(bool on) = 0;
    // For good, at the end of the run: see above.
    virtual void EndOfRun() = 0;
    // How the user knows the link: "COM 1".
    virtual std::string Name() const = 0;
    // The status line of a return (Back): "COM 1 reopened".
    virtual std::string BackLine() const { return LinkReopenedLine(Name()); }

signals:
    // Bytes as they came, in order.
    void Received(const QByteArray& bytes);
    // A line or error event of the link, by its event code (serial_events.h).
    void LineEvent(int code);
    // The device went away; `reason` is the system's word for it.
    void Lost(const QString& reason);
    // A lost link is open again (or one that opens in the background, open).
    void Back();
};

}  // namespace quillon
