// Raw logs as the program writes them with TIMEFRAMES=YES: every frame behind a time frame.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tnc/time_frame.h"

namespace quillon::test {

// `count` frames round-robin from `frames`, the first stamped `first`, each `step` after the last.
inline std::string RawLogOf(const std::vector<std::string>& frames, std::size_t count,
                            std::chrono::system_clock::time_point first,
                            std::chrono::milliseconds step = std::chrono::milliseconds(1))
{
    std::string log;
    for (std::size_t i = 0; i < count; ++i) {
        log += EncodeTimeFrame(first + step * std::int64_t(i));
        log += frames[i % frames.size()];
    }
    return log;
}

}  // namespace quillon::test
