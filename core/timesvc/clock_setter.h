// Setting the computer's clock. The clock synchronisation reaches the system
// clock only through this seam; tests hand it a fake that records what it
// was asked to set, so no test ever moves the real clock.
#pragma once

#include "timesvc.h"

namespace quillon {

class SystemClockSetter {
public:
    virtual ~SystemClockSetter() = default;
    // Sets the system clock to the given UTC time, the fraction of the second
    // zero. False when the system refused; the clock is then unchanged.
    virtual bool SetSystemTime(DateTime utc) = 0;
};

}  // namespace quillon
