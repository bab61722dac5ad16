// Frames as the receive path hands them over, and the console lines of a
// report, for the decoder tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "decoder/frame_report.h"
#include "platform/clock.h"
#include "tnc/tnc.h"
#include "tools/kiss_encoder.h"

namespace quillon::test {

// Bytes from hexadecimal pairs separated by blanks: "C0 00 41 C0".
ByteString Hex(std::string_view pairs);

// The frame in the receive buffer, positions 1 to n.
ReceiveState Received(std::span<const std::uint8_t> frame);
// An AX.25 frame KISS-encoded with the given command byte.
ReceiveState ReceivedAx25(const Ax25Frame& frame, std::uint8_t command = 0x00);

// One console line: its text without the CR, in the colour of its run.
struct ConsoleLine {
    std::string text;
    std::uint32_t colour;
    bool operator==(const ConsoleLine&) const = default;
};
std::vector<ConsoleLine> ConsoleLines(const std::vector<ConsoleRun>& runs);
void PrintTo(const ConsoleLine& line, std::ostream* os);

// The moment of the worked example: 2013-07-28 14:05:09.437 UTC.
std::chrono::system_clock::time_point ExampleTime();

// A clock that moves on by `step` after every reading, as the real one does
// between the report's readings.
class SteppingClock : public Clock {
public:
    SteppingClock(std::chrono::system_clock::time_point start, std::chrono::milliseconds step)
        : next_(start), step_(step) {}
    std::chrono::system_clock::time_point Now() const override
    {
        const auto now = next_;
        next_ += step_;
        return now;
    }

private:
    mutable std::chrono::system_clock::time_point next_;
    std::chrono::milliseconds step_;
};

}  // namespace quillon::test
