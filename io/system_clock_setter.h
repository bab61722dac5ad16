// The real system clock setter.
#pragma once

#include "timesvc/clock_setter.h"

namespace quillon {

// clock_settime(CLOCK_REALTIME). Needs CAP_SYS_TIME: without it (an ordinary
// user, or an executable without "setcap cap_sys_time+ep") the call is
// refused. Times before 1970 are refused as well.
class RealSystemClockSetter final : public SystemClockSetter {
public:
    bool SetSystemTime(DateTime utc) override;
};

}  // namespace quillon
