// Doubles of the clock and of the setter that would move the system clock.
#pragma once

#include <cctype>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "timesvc/clock.h"
#include "timesvc/clock_setter.h"

namespace quillon::test {

using namespace std::chrono_literals;

// A clock that stands still until told otherwise, or moves on by a step at every reading.
class FakeClock final : public FixedClock {
public:
    using FixedClock::FixedClock;
    std::chrono::system_clock::time_point Now() const override { return (stepped_ += step_) - step_ + now_; }
    void Advance(std::chrono::system_clock::duration d) { now_ += d; }
    void StepEachReading(std::chrono::system_clock::duration step) { step_ = step; }

private:
    std::chrono::system_clock::duration step_{};
    mutable std::chrono::system_clock::duration stepped_{};
};

// 2013-07-28 plus a time of day: the date of the worked examples.
inline std::chrono::system_clock::time_point At(std::chrono::system_clock::duration timeOfDay)
{
    return std::chrono::sys_days{std::chrono::year{2013} / 7 / 28} + timeOfDay;
}

// Records every time it is given and reports success, or failure once told to fail.
class FakeClockSetter final : public SystemClockSetter {
public:
    explicit FakeClockSetter(bool succeed = true) : succeed_(succeed) {}
    bool SetSystemTime(DateTime utc) override
    {
        received_.push_back(utc);
        return succeed_;
    }
    const std::vector<DateTime>& Received() const { return received_; }

private:
    bool succeed_;
    std::vector<DateTime> received_;
};

// The bytes of a hexadecimal text such as "C0 41 C0" (blanks ignored).
inline std::string Bytes(std::string_view hex)
{
    std::string out, digits;
    for (const char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace quillon::test
