#include "link.h"

#include <QDeadlineTimer>
#include <algorithm>

namespace quillon {

Link::Link(QObject* parent) : QObject(parent)
{
    reopenTimer_.setSingleShot(true);
    reopenTimer_.setInterval(kReopenInterval);
    connect(&reopenTimer_, &QTimer::timeout, this, &Link::TryReopen);
    steadyTimer_.setSingleShot(true);
    connect(&steadyTimer_, &QTimer::timeout, this, &Link::OnSteady);
}

Link::~Link() = default;

bool Link::Open()
{
    if (state_ == State::Open || opening_)
        return true;
    if (endOfRun_)
        return false;
    // Not there until the device says so. A link already lost is tried at
    // once, and its loss is not said again.
    if (state_ != State::Lost)
        lossSaid_ = false;
    state_ = State::Lost;
    opening_ = true;
    inOpen_ = true;
    OpenDevice(false);
    inOpen_ = false;
    return state_ != State::Closed;
}

void Link::TryReopen()
{
    if (state_ != State::Lost || !reopening_ || opening_ || endOfRun_)
        return;
    opening_ = true;
    ++tries_;
    OpenDevice(true);
}

void Link::StartReopenTimer()
{
    reopenTimer_.start(backOff_ ? backOff_->Delay(std::max(failedTries_ - 1, 0)) : kReopenInterval);
}

void Link::OnSteady()
{
    if (state_ != State::Open)
        return;
    failedTries_ = 0;
    droppedAtOnce_ = false;
    if (std::exchange(backUnsaid_, false)) {
        lossSaid_ = false;
        emit Back();
    }
}

void Link::DeviceOpened()
{
    if (!opening_)
        return;
    opening_ = false;
    state_ = State::Open;
    full_ = false;
    reopenTimer_.stop();
    QObject::disconnect(reading_);
    reading_ = connect(&Device(), &QIODevice::readyRead, this, &Link::OnReadyRead);
    if (backOff_) {
        openedAt_.start();
        brought_ = false;
        steadyTimer_.start(backOff_->steady);
    }
    // A device there at once is simply open; one that comes later is back,
    // unless it has just been dropped at once and may be again.
    if (!inOpen_ && droppedAtOnce_) {
        backUnsaid_ = true;
    } else if (!inOpen_) {
        lossSaid_ = false;
        tries_ = 0;
        emit Back();
    }
}

void Link::DeviceGone(const QString& reason)
{
    // Closed on purpose, or this loss already handled.
    if (state_ == State::Closed || (state_ == State::Lost && !opening_))
        return;
    const bool wasOpen = state_ == State::Open;
    opening_ = false;
    lastFailure_ = reason;
    if (wasOpen)
        DeliverWaiting();
    QObject::disconnect(reading_);
    DropDevice();
    if (endOfRun_ || (!wasOpen && !reopening_ && inOpen_)) {
        state_ = State::Closed;
        return;
    }
    state_ = State::Lost;
    if (backOff_) {
        steadyTimer_.stop();
        backUnsaid_ = false;
        // A try that failed waits longer; a connection that lasted starts afresh.
        if (wasOpen && openedAt_.isValid() && openedAt_.elapsed() >= backOff_->steady.count())
            failedTries_ = 0;
        else
            droppedAtOnce_ = droppedAtOnce_ || (wasOpen && !brought_);
        ++failedTries_;
    }
    if (reopening_)
        StartReopenTimer();
    if (!std::exchange(lossSaid_, true)) {
        tries_ = 0;
        saidAt_.start();
        emit Lost(reason);
    } else if (backOff_ && saidAt_.isValid() && saidAt_.elapsed() >= backOff_->sayEvery.count()) {
        saidAt_.start();
        emit Reconnecting(tries_);
    }
}

void Link::DeliverWaiting()
{
    QIODevice& device = Device();
    if (!endOfRun_ && state_ == State::Open && device.isOpen() && device.bytesAvailable() > 0) {
        const QByteArray bytes = device.readAll();
        brought_ = brought_ || !bytes.isEmpty();
        if (!bytes.isEmpty())
            emit Received(bytes);
    }
}

void Link::DeviceEvent(int code)
{
    if (!endOfRun_)
        emit LineEvent(code);
}

void Link::OnReadyRead()
{
    QIODevice& device = Device();
    // At the end of the run, or after a loss, what still arrives is dropped unread.
    if (endOfRun_ || state_ != State::Open) {
        device.skip(device.bytesAvailable());
        return;
    }
    const QByteArray bytes = device.readAll();
    brought_ = brought_ || !bytes.isEmpty();
    if (!bytes.isEmpty())  // a notification that found nothing waiting says nothing
        emit Received(bytes);
}

void Link::Close(const std::function<bool()>& giveUp)
{
    // Closed on purpose: whatever the device says from here on is no loss.
    const bool wasOpen = state_ == State::Open;
    state_ = State::Closed;
    opening_ = false;
    reopenTimer_.stop();
    steadyTimer_.stop();
    failedTries_ = 0;
    droppedAtOnce_ = backUnsaid_ = false;
    QObject::disconnect(reading_);
    // What was written last (the exit script at the end of a run) still goes
    // out; a device that takes nothing holds the close up for kDrainLimit at
    // most, and the caller may cut the wait short. Waiting in slices keeps
    // asking it; a wait that fails for another reason than time ends it.
    QIODevice& device = Device();
    const QDeadlineTimer deadline(kDrainLimit);
    while (wasOpen && device.isOpen() && device.bytesToWrite() > 0 && !deadline.hasExpired() && !(giveUp && giveUp())) {
        if (!WaitForWritten(int(std::min<qint64>(deadline.remainingTime(), 50))))
            break;
    }
    CloseDevice();
}

bool Link::Write(std::string_view bytes)
{
    if (state_ != State::Open)
        return false;
    QIODevice& device = Device();
    const qint64 waiting = device.bytesToWrite();
    if (waiting <= kWriteQueueLimit / 2)
        full_ = false;
    if (waiting + qint64(bytes.size()) > kWriteQueueLimit) {
        if (!std::exchange(full_, true))
            DeviceEvent(line_event::TransmitBufferFull);
        return false;
    }
    return device.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

qint64 Link::BytesWaiting() const
{
    QIODevice& device = const_cast<Link*>(this)->Device();
    return device.isOpen() ? device.bytesToWrite() : 0;
}

void Link::SetReopening(bool on)
{
    reopening_ = on && !endOfRun_;
    if (!reopening_)
        reopenTimer_.stop();
    else if (state_ == State::Lost && !opening_ && !reopenTimer_.isActive())
        StartReopenTimer();
}

void Link::EndOfRun()
{
    endOfRun_ = true;
    SetReopening(false);
    steadyTimer_.stop();
    // An open under way is given up; an open device stays for what is still
    // written, and Close ends it.
    if (state_ != State::Open) {
        state_ = State::Closed;
        opening_ = false;
        CloseDevice();
    }
}

}  // namespace quillon
