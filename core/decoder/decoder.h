// Frame decoder: the un-escaped frame and what the decoder found in it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

inline constexpr int kDecodedFrameSize = 1024;
inline constexpr int kMaxDigipeaters = 9;

struct DecoderState {
    // The un-escaped frame, both FENDs included, positions counted from 1
    // (index 0 is never used).
    std::array<std::uint8_t, kDecodedFrameSize + 1> DecodedFrame{};
    std::int16_t DecodedFrameLength = 0;
    bool EscapePending = false;

    std::string DestinationCall;
    std::string SourceCall;
    // Slots 1 to 9 (index 0 unused) and the SSID and H bit beside each; a
    // call whose H bit is set (it has repeated the frame) ends in "*".
    std::array<std::string, kMaxDigipeaters + 1> DigipeaterCalls;
    std::array<int, kMaxDigipeaters + 1> DigipeaterSsids{};
    std::array<bool, kMaxDigipeaters + 1> DigipeaterRepeated{};
    // The slots read, 0 to 9, blank calls among them.
    int DigipeaterCount = 0;

    std::uint8_t ControlByte = 0;
    // Only I and UI frames carry a PID; for the others it stays empty.
    std::optional<std::uint8_t> PidByte;
    std::string ControlText;
    std::string AddressText;
    std::int16_t PayloadStart = 0;
};

}  // namespace quillon
