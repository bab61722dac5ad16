// Traffic and log checks shared by the soak and fault tests: many different
// frames as a TNC sends them, and the raw, dump and hex logs read back.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/kiss_frames.h"

namespace quillon::test {

// `count` different KISS frames: UI frames with 0 to 3 digipeaters and
// payloads of 0 to 250 bytes, every byte value among them (FEND and FESC
// escaped on the line), now and then a frame of another command byte. Frame
// i's payload begins with "#i " so that a lost or doubled frame shows.
inline std::vector<std::string> ManyFrames(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    const std::vector<std::string> digis = {"WIDE1-1", "WIDE2-2", "RELAY", "DB0ABC-10"};
    std::vector<std::string> frames;
    frames.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string info = "#" + std::to_string(i) + " ";
        const std::size_t extra = random() % 8 == 0 ? random() % 240 : random() % 40;
        for (std::size_t j = 0; j < extra; ++j)
            info.push_back(random() % 4 == 0 ? char(random() % 256) : char('a' + random() % 26));
        const std::vector<std::string> via(digis.begin(), digis.begin() + std::ptrdiff_t(random() % 4));
        const std::uint8_t command = random() % 50 == 0 ? 0x80 : 0x00;
        frames.push_back(KissFrame(Ax25UiFrame("APRS", "N0CALL-" + std::to_string(i % 16), via, info), command));
    }
    return frames;
}

inline std::string Joined(const std::vector<std::string>& parts, std::size_t from = 0,
                          std::size_t to = std::string::npos)
{
    std::string out;
    for (std::size_t i = from; i < parts.size() && i < to; ++i)
        out += parts[i];
    return out;
}

// A raw log without its time frames (C0 09 "yyyy-MM-dd HH:nn:ss.mmm UTC" C0);
// `timeFrames` counts them.
inline std::string WithoutTimeFrames(std::string_view log, std::size_t& timeFrames)
{
    std::string out;
    out.reserve(log.size());
    timeFrames = 0;
    while (!log.empty()) {
        if (log.size() >= 30 && log[0] == '\xC0' && log[1] == '\x09' && log.substr(25, 4) == " UTC" &&
            log[29] == '\xC0') {
            ++timeFrames;
            log.remove_prefix(30);
            continue;
        }
        const std::size_t close = log.size() > 1 ? log.find('\xC0', 1) : std::string_view::npos;
        const std::size_t n = close == std::string_view::npos ? log.size() : close + 1;
        out.append(log.substr(0, n));
        log.remove_prefix(n);
    }
    return out;
}

inline std::size_t LineCount(std::string_view text)
{
    std::size_t n = 0;
    for (const char c : text)
        n += c == '\n' ? 1 : 0;
    return n;
}

}  // namespace quillon::test
