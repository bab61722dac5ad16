// What a KISS server keeps for one client that reads the station's frames:
// a bounded queue that takes whole frames or none, so that a client that
// falls behind loses whole frames, never parts of one, and a client that has
// read nothing for a while is let go.
#pragma once

#include <chrono>
#include <cstdint>

namespace quillon {

class ClientQueue {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint64_t kLimit = 256 * 1024;
    static constexpr std::chrono::seconds kStallLimit{60};

    // Whether `bytes` more go in whole while `waiting` bytes wait for the
    // client; frames that do not are counted as dropped.
    bool Offer(std::uint64_t waiting, std::uint64_t bytes, Clock::time_point now);
    // The client took some of what waited.
    void Taken(Clock::time_point now) { since_ = now; }
    // Bytes have waited, and the client has taken none of them, for the
    // stall limit.
    bool Stalled(std::uint64_t waiting, Clock::time_point now) const
    {
        return waiting > 0 && now - since_ >= kStallLimit;
    }
    std::uint64_t FramesDropped() const { return dropped_; }

private:
    Clock::time_point since_{};  // the client last took bytes, or found the queue empty
    std::uint64_t dropped_ = 0;
};

inline bool ClientQueue::Offer(std::uint64_t waiting, std::uint64_t bytes, Clock::time_point now)
{
    if (waiting == 0)
        since_ = now;
    if (waiting + bytes > kLimit) {
        ++dropped_;
        return false;
    }
    return true;
}

}  // namespace quillon
