// The program's only way to the present time. The real clock reads the
// system's real-time clock, which on Linux counts UTC whatever the zone;
// tests substitute a clock they can set.
#pragma once

#include <chrono>

namespace quillon {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point Now() const = 0;
};

// The system clock (CLOCK_REALTIME).
const Clock& RealClock();

// A clock that stands still until told otherwise.
class FakeClock : public Clock {
public:
    explicit FakeClock(std::chrono::system_clock::time_point t = {}) : now_(t) {}
    std::chrono::system_clock::time_point Now() const override { return now_; }
    void Set(std::chrono::system_clock::time_point t) { now_ = t; }
    void Advance(std::chrono::system_clock::duration d) { now_ += d; }

private:
    std::chrono::system_clock::time_point now_;
};

}  // namespace quillon
