#include "back_off.h"

#include <algorithm>

namespace quillon {

std::chrono::milliseconds BackOff::Delay(int failedBefore) const
{
    std::chrono::milliseconds wait = first;
    for (int n = 0; n < failedBefore && wait < longest; ++n)
        wait *= 2;
    return std::min(wait, longest);
}

}  // namespace quillon
