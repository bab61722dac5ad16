// The time frames of a raw KISS log: with TIMEFRAMES=YES the program writes
// one in front of every frame it logs, 30 bytes:
//   C0 09 "2013-07-28 14:05:09.437" " UTC" C0
// The writer and the reader live here together; nothing else spells out the
// layout.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kiss/kiss.h"

namespace quillon {

inline constexpr std::uint8_t kTimeCommand = 0x09;
inline constexpr int kTimeFrameLength = 30;

// The time frame for `t`; milliseconds truncated.
std::string EncodeTimeFrame(std::chrono::system_clock::time_point t);

// The moment a time frame carries, when `frame` (as received, both FENDs
// included) has exactly that layout and a valid date and time; nothing for
// any other frame.
std::optional<std::chrono::system_clock::time_point> DecodeTimeFrame(std::span<const std::uint8_t> frame);
inline std::optional<std::chrono::system_clock::time_point> ReadTimeFrame(const ReceiveState& rx)
{
    return DecodeTimeFrame(rx.Bytes());
}

// The frames of a raw log without its time frames, as a TNC sent them: the
// log cut into frames by the frame assembler (so whatever the receive
// pipeline drops is dropped here too), every time frame left out.
// `timeFrames`, when given, is set to the number of time frames left out.
std::string StripTimeFrames(std::string_view log, std::size_t* timeFrames = nullptr);

}  // namespace quillon
