// Waiting for a condition: polled at short intervals up to a generous limit, never a fixed sleep.
#pragma once

#include <chrono>
#include <thread>

namespace quillon::test {

using namespace std::chrono_literals;

// True as soon as done() holds; false when it still does not after `limit`.
template <class Condition>
bool PollUntil(Condition done, std::chrono::milliseconds limit,
               std::chrono::milliseconds step = 10ms)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(step);
    }
}

}  // namespace quillon::test
