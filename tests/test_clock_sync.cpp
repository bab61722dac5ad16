// Turning an RFC 868 reply into the system time, and the status-box lines
// that show the reply.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system_clock_setter.h"
#include "timesvc/clock_sync.h"

namespace quillon {
namespace {

std::string Bytes(std::initializer_list<unsigned char> values)
{
    return std::string(values.begin(), values.end());
}

std::vector<std::string> AsText(const std::vector<DateTime>& times)
{
    std::vector<std::string> text;
    for (const DateTime t : times)
        text.push_back(FormatDateTime(t));
    return text;
}

const std::string kBegin = "   beginning system clock synchronization";
const std::string kDone = "clock synchronised succesfully with NTP server PTBTIME1.PTB.DE";
const std::string kRefused = "SetSystemTime failed. Clock not synchronised";
const std::string kInvalid = "Time passed not valid. Clock not synchronised";

struct SyncCase {
    const char* situation;
    std::string reply;
    bool setterSucceeds;
    std::vector<std::string> lines;
    std::vector<std::string> timesSet;
};

TEST(SyncSystemClock, SetsTheClockFromTheReplyAndTellsWhatHappened)
{
    const std::vector<SyncCase> cases = {
        {"a reply in December 2026", Bytes({0xEE, 0xBD, 0xD2, 0x80}), true, {kBegin, kDone},
         {"2026-12-05 00:00:00"}},
        {"the earliest time the count from 1990 can hold", Bytes({0x29, 0x49, 0x1C, 0x00}), true,
         {kBegin, kDone}, {"1921-12-13 20:45:52"}},
        {"one second before the earliest time", Bytes({0x29, 0x49, 0x1B, 0xFF}), true, {}, {}},
        {"a server sending zero, the protocol's epoch", Bytes({0, 0, 0, 0}), true, {}, {}},
        {"the largest count", Bytes({0xFF, 0xFF, 0xFF, 0xFF}), true, {kBegin, kDone},
         {"2036-02-07 06:28:15"}},
        {"the reference point 1990-01-01", Bytes({0xA9, 0x49, 0x1C, 0x00}), true, {kBegin, kDone},
         {"1990-01-01 00:00:00"}},
        {"the Unix epoch", Bytes({0x83, 0xAA, 0x7E, 0x80}), true, {kBegin, kDone},
         {"1970-01-01 00:00:00"}},
        {"a program without the right to set the clock", Bytes({0xEE, 0xBD, 0xD2, 0x80}), false,
         {kBegin, kRefused}, {"2026-12-05 00:00:00"}},
        {"three bytes", Bytes({0xEE, 0xBD, 0xD2}), true, {kInvalid}, {}},
        {"five bytes", Bytes({0xEE, 0xBD, 0xD2, 0x80, 0x00}), true, {kInvalid}, {}},
        {"an empty reply", "", true, {kInvalid}, {}},
    };
    for (const SyncCase& c : cases) {
        SCOPED_TRACE(c.situation);
        FakeClockSetter setter(c.setterSucceeds);
        std::vector<std::string> lines;
        SyncSystemClock(c.reply, "PTBTIME1.PTB.DE", setter,
                        [&](std::string_view line) { lines.emplace_back(line); });
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(AsText(setter.Received()), c.timesSet);
    }
}

TEST(ByteToHex, WritesTwoUpperCaseDigits)
{
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "00"}, {10, "0A"}, {15, "0F"}, {16, "10"}, {0x9C, "9C"}, {0xEE, "EE"}, {255, "FF"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(ByteToHex(static_cast<std::uint8_t>(value)), text) << value;
}

TEST(DataReceivedLine, DumpsEveryByteOfAnArrival)
{
    struct Case {
        const char* situation;
        std::string bytes;
        std::int64_t bytesTotal;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"a whole reply", Bytes({0xEE, 0xBD, 0xD2, 0x80}), 4,
         "data received: EE BD D2 80  (4 bytes)"},
        {"the first part of a split reply", Bytes({0xEE, 0xBD, 0xD2}), 3,
         "data received: EE BD D2  (3 bytes)"},
        {"the rest of a split reply", Bytes({0x80}), 1, "data received: 80  (1 bytes)"},
        {"a line feed and a zero byte", Bytes({0x0A, 0x00}), 2, "data received: 0A 00  (2 bytes)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DataReceivedLine(c.bytes, c.bytesTotal), c.line) << c.situation;
}

TEST(DataReceivedLine, DumpsAnArrivalBeyondSixteenBitsWhole)
{
    const std::string bytes(40'000, 'A');
    const std::string line = DataReceivedLine(bytes, 40'000);
    std::string dump;
    for (int i = 0; i < 40'000; ++i)
        dump += "41 ";
    EXPECT_EQ(line, "data received: " + dump + " (40000 bytes)");
}

}  // namespace
}  // namespace quillon
