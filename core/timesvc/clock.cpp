#include "clock.h"

namespace quillon {

namespace {
class SystemRealClock : public Clock {
public:
    std::chrono::system_clock::time_point Now() const override { return std::chrono::system_clock::now(); }
};
}  // namespace

const Clock& RealClock()
{
    static const SystemRealClock clock;
    return clock;
}

}  // namespace quillon
