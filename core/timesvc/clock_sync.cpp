#include "clock_sync.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "text/hex.h"

namespace quillon {

namespace {

// 1990-01-01 00:00:00 lies this many seconds after the protocol's epoch,
// 1900-01-01 00:00:00. The time is counted from 1990 in a signed 32-bit
// number, so the earliest time that can be set is 2^31 seconds before 1990
// (a count of 692,657,152); the latest count, 4,294,967,295, is
// 2036-02-07 06:28:15 and stays well inside the range.
constexpr std::int64_t kSecondsFrom1900To1990 = 2'840'140'800;

std::int64_t SecondsSince1900(const std::string& reply)
{
    std::int64_t count = 0;
    for (const char c : reply)
        count = count * 256 + static_cast<unsigned char>(c);
    return count;
}

}  // namespace

std::string DataReceivedLine(std::string_view bytes, std::int64_t bytesTotal)
{
    const std::size_t shown = bytesTotal <= 0 ? 0 : std::min(bytes.size(), static_cast<std::size_t>(bytesTotal));
    std::string line = "data received: ";
    line.reserve(line.size() + 3 * shown + 32);
    for (std::size_t i = 0; i < shown; ++i) {
        AppendHex(line, static_cast<std::uint8_t>(bytes[i]));
        line += ' ';
    }
    line += " (" + std::to_string(bytesTotal) + " bytes)";
    return line;
}

void SyncSystemClock(std::string reply, const std::string& timeserver, SystemClockSetter& setter,
                     const AppendStatusLine& appendStatus)
{
    if (reply.size() != 4) {
        appendStatus("Time passed not valid. Clock not synchronised");
        return;
    }
    const std::int64_t difference = SecondsSince1900(reply) - kSecondsFrom1900To1990;
    if (difference < std::numeric_limits<std::int32_t>::min())
        return;

    using namespace std::chrono;
    const DateTime reference = sys_days{year{1990} / January / 1};
    const DateTime utc = reference + seconds{static_cast<std::int32_t>(difference)};

    appendStatus("   beginning system clock synchronization");
    if (setter.SetSystemTime(utc))
        appendStatus("clock synchronised succesfully with NTP server " + timeserver);
    else
        appendStatus("SetSystemTime failed. Clock not synchronised");
}

}  // namespace quillon
