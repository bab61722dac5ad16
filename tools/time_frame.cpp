#include "tools/time_frame.h"

#include <charconv>
#include <string_view>

namespace quillon {

namespace {

constexpr int kTimeFrameLength = 30;
constexpr std::uint8_t kTimeCommand = 0x09;
// Positions of the 23-character stamp and of " UTC" within the frame.
constexpr int kStampPosition = 3;
constexpr int kStampLength = 23;
constexpr std::string_view kUtc = " UTC";
// "yyyy-MM-dd HH:nn:ss.mmm" with every digit a 'd'.
constexpr std::string_view kLayout = "dddd-dd-dd dd:dd:dd.ddd";

bool Matches(std::string_view stamp)
{
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (kLayout[i] == 'd' ? !digit : stamp[i] != kLayout[i])
            return false;
    }
    return true;
}

int Number(std::string_view stamp, std::size_t offset, std::size_t length)
{
    int n = 0;
    std::from_chars(stamp.data() + offset, stamp.data() + offset + length, n);
    return n;
}

}  // namespace

std::optional<std::chrono::system_clock::time_point> ReadTimeFrame(const ReceiveState& rx)
{
    using namespace std::chrono;
    if (rx.RawFrameLength != kTimeFrameLength || rx.At(2) != kTimeCommand)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(&rx.RawFrame[kStampPosition]);
    const std::string_view stamp(text, kStampLength);
    if (!Matches(stamp) || std::string_view(text + kStampLength, kUtc.size()) != kUtc)
        return std::nullopt;

    const year_month_day date{year{Number(stamp, 0, 4)}, month(unsigned(Number(stamp, 5, 2))),
                              day(unsigned(Number(stamp, 8, 2)))};
    const int hour = Number(stamp, 11, 2), minute = Number(stamp, 14, 2), second = Number(stamp, 17, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return sys_days{date} + hours{hour} + minutes{minute} + seconds{second} +
           milliseconds{Number(stamp, 20, 3)};
}

}  // namespace quillon
