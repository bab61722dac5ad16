// The pcap format and the conversion of raw KISS logs into its records.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/kiss_frames.h"
#include "tools/kiss_encoder.h"
#include "tools/kiss_to_pcap.h"
#include "tools/pcap_writer.h"

namespace quillon::test {
namespace {

using namespace std::chrono;
using namespace std::string_literals;

// 2013-07-28 14:05:09.437 UTC
const system_clock::time_point kLogTime = sys_days{2013y / July / 28} + 14h + 5min + 9s + 437ms;
const system_clock::time_point kFileTime = sys_seconds{seconds{1700000000}} + 250000us;

std::string Le32(std::uint32_t v)
{
    std::string out;
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
    return out;
}

// A record header and its packet, as the writer must lay them out.
std::string Record(std::uint32_t seconds, std::uint32_t micros, const std::string& packet)
{
    const auto n = static_cast<std::uint32_t>(packet.size());
    return Le32(seconds) + Le32(micros) + Le32(n) + Le32(n) + packet;
}

std::string TimeFrame(const char* stamp)
{
    const ByteString frame = EncodeTimeFrame(stamp);
    return {frame.begin(), frame.end()};
}

// The records of a whole log fed at once, and fed one byte at a time.
std::string Convert(const std::string& log, std::size_t* records = nullptr)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(log.data());
    KissToPcap whole(kFileTime), bytewise(kFileTime);
    std::string out, outBytewise;
    whole.Feed(bytes, log.size(), out);
    for (std::size_t i = 0; i < log.size(); ++i)
        bytewise.Feed(bytes + i, 1, outBytewise);
    EXPECT_EQ(out, outBytewise) << "the records must not depend on how the log is read";
    if (records != nullptr)
        *records = whole.Records();
    return out;
}

TEST(PcapWriter, FileHeaderIsClassicPcapOfLinkType202)
{
    EXPECT_EQ(PcapFileHeader(kLinkTypeAx25Kiss),
              Bytes("D4 C3 B2 A1 02 00 04 00 00 00 00 00 00 00 00 00 FF FF 00 00 CA 00 00 00"));
}

TEST(PcapWriter, RecordCarriesSecondsMicrosecondsAndBothLengths)
{
    std::string out;
    const std::string packet = Bytes("00 41 42");
    AppendPcapRecord(out, kLogTime, {reinterpret_cast<const std::uint8_t*>(packet.data()), packet.size()});
    EXPECT_EQ(out, Record(1375020309, 437000, packet));
}

TEST(PcapWriter, TimesOutsideTheFormatAreClamped)
{
    std::string before, after;
    AppendPcapRecord(before, system_clock::time_point{} - 1500ms, {});
    AppendPcapRecord(after, sys_days{2200y / January / 1}, {});
    EXPECT_EQ(before, Record(0, 0, ""));
    EXPECT_EQ(after, Record(0xFFFFFFFF, 999999, ""));
}

TEST(KissToPcap, LogWithoutTimeFramesTakesTheFileTime)
{
    const std::string log = "noise" + KissFrame("\x41\xC0\x42\xDB", 0x00) + "\r\n" + KissFrame("xyz", 0x10);
    std::size_t records = 0;
    EXPECT_EQ(Convert(log, &records), Record(1700000000, 250000, Bytes("00 41 C0 42 DB")) +
                                          Record(1700000000, 250000, "\x10xyz"));
    EXPECT_EQ(records, 2u);
}

TEST(KissToPcap, TimeFramesStampTheFrameBehindThemAndAreNotExported)
{
    const std::string log = TimeFrame("2013-07-28 14:05:09.437") + KissFrame("one") +
                            TimeFrame("2013-07-28 14:05:10.001") + KissFrame("two", 0x80) +
                            KissFrame("three");  // no time frame of its own
    EXPECT_EQ(Convert(log), Record(1375020309, 437000, "\0one"s) + Record(1375020310, 1000, "\x80two") +
                                Record(1375020310, 1000, "\0three"s));
}

TEST(KissToPcap, FramesBeforeTheFirstTimeFrameTakeTheFileTime)
{
    const std::string log = KissFrame("early") + TimeFrame("2013-07-28 14:05:09.437") + KissFrame("late");
    EXPECT_EQ(Convert(log), Record(1700000000, 250000, "\0early"s) + Record(1375020309, 437000, "\0late"s));
}

TEST(KissToPcap, DoubledFendsAndShortFramesAsTheProgramCutsThem)
{
    // A doubled FEND keeps the frame open; C0 41 C0 is a frame of its own.
    const std::string log = Bytes("C0 C0 00 61 C0 C0 41 C0");
    EXPECT_EQ(Convert(log), Record(1700000000, 250000, "\0a"s) + Record(1700000000, 250000, "A"));
}

TEST(KissToPcap, EmptyLogGivesNoRecords)
{
    std::size_t records = 1;
    EXPECT_EQ(Convert("", &records), "");
    EXPECT_EQ(records, 0u);
}

}  // namespace
}  // namespace quillon::test
