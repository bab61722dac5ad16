// Setting the computer's clock. The clock synchronisation reaches the system
// clock only through this seam; tests hand it a fake that records what it
// was asked to set, so no test ever moves the real clock.
#pragma once

#include <vector>

#include "timesvc/timesvc.h"

namespace quillon {

class SystemClockSetter {
public:
    virtual ~SystemClockSetter() = default;
    // Sets the system clock to the given UTC time, the fraction of the second
    // zero. False when the system refused; the clock is then unchanged.
    virtual bool SetSystemTime(DateTime utc) = 0;
};

// clock_settime(CLOCK_REALTIME). Needs CAP_SYS_TIME: without it (an ordinary
// user, or an executable without "setcap cap_sys_time+ep") the call is
// refused. Times before 1970 are refused as well.
class RealSystemClockSetter final : public SystemClockSetter {
public:
    bool SetSystemTime(DateTime utc) override;
};

// Records every time it is given and reports success, or failure once told
// to fail (as a program without the right to set the clock sees it).
class FakeClockSetter final : public SystemClockSetter {
public:
    explicit FakeClockSetter(bool succeed = true) : succeed_(succeed) {}
    bool SetSystemTime(DateTime utc) override
    {
        received_.push_back(utc);
        return succeed_;
    }
    void SetSucceed(bool succeed) { succeed_ = succeed; }
    const std::vector<DateTime>& Received() const { return received_; }

private:
    bool succeed_;
    std::vector<DateTime> received_;
};

}  // namespace quillon
