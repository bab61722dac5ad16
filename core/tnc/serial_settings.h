// The settings text of a serial port, "9600,N,8,1": baud, parity, data bits,
// stop bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

struct SerialSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    std::int32_t baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;  // 5 to 8
    StopBits stopBits = StopBits::One;
};

// The settings the text stands for: a positive baud rate, parity N, E, O, M
// or S (either case), 5 to 8 data bits, 1, 1.5 or 2 stop bits, exactly four
// fields; nothing for any other text.
std::optional<SerialSettings> ParseSerialSettings(std::string_view text);

}  // namespace quillon
