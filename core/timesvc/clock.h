// The program's only way to the present time. The real clock reads the
// system's real-time clock, which on Linux counts UTC whatever the zone;
// a log reader substitutes the recorded time, and tests a clock they set.
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

// A clock that reads a set time: the time a log recorded for a frame.
class FixedClock : public Clock {
public:
    explicit FixedClock(std::chrono::system_clock::time_point t = {}) : now_(t) {}
    std::chrono::system_clock::time_point Now() const override { return now_; }
    void Set(std::chrono::system_clock::time_point t) { now_ = t; }

protected:
    std::chrono::system_clock::time_point now_;
};

}  // namespace quillon
