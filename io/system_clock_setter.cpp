#include "system_clock_setter.h"

#include <ctime>

namespace quillon {

bool RealSystemClockSetter::SetSystemTime(DateTime utc)
{
    timespec when{};
    when.tv_sec = static_cast<std::time_t>(utc.time_since_epoch().count());
    when.tv_nsec = 0;
    return ::clock_settime(CLOCK_REALTIME, &when) == 0;
}

}  // namespace quillon
