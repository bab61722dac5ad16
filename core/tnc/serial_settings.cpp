#include "serial_settings.h"

#include <array>
#include <charconv>

namespace quillon {

namespace {

// Exactly four comma-separated fields.
std::optional<std::array<std::string_view, 4>> SplitFields(std::string_view text)
{
    std::array<std::string_view, 4> fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto comma = text.find(',');
        const bool last = i + 1 == fields.size();
        if ((comma == std::string_view::npos) != last)
            return std::nullopt;
        fields[i] = text.substr(0, comma);
        text.remove_prefix(last ? text.size() : comma + 1);
    }
    return fields;
}

}  // namespace

std::optional<SerialSettings> ParseSerialSettings(std::string_view text)
{
    const auto fields = SplitFields(text);
    if (!fields)
        return std::nullopt;
    const auto [baudText, parityText, dataText, stopText] = *fields;
    SerialSettings s;
    const auto [end, error] = std::from_chars(baudText.data(), baudText.data() + baudText.size(), s.baud);
    if (error != std::errc() || end != baudText.data() + baudText.size() || s.baud <= 0)
        return std::nullopt;

    using Parity = SerialSettings::Parity;
    if (parityText == "N" || parityText == "n")
        s.parity = Parity::None;
    else if (parityText == "E" || parityText == "e")
        s.parity = Parity::Even;
    else if (parityText == "O" || parityText == "o")
        s.parity = Parity::Odd;
    else if (parityText == "M" || parityText == "m")
        s.parity = Parity::Mark;
    else if (parityText == "S" || parityText == "s")
        s.parity = Parity::Space;
    else
        return std::nullopt;

    if (dataText.size() != 1 || dataText[0] < '5' || dataText[0] > '8')
        return std::nullopt;
    s.dataBits = dataText[0] - '0';

    using StopBits = SerialSettings::StopBits;
    if (stopText == "1")
        s.stopBits = StopBits::One;
    else if (stopText == "1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (stopText == "2")
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return s;
}

}  // namespace quillon
