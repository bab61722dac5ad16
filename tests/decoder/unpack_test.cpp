// Undoing the KISS escapes of a received frame.
#include <gtest/gtest.h>

#include <ostream>

#include "decoder/decoder_fixtures.h"
#include "decoder/kiss_unpack.h"

namespace quillon::test {
namespace {

ByteString Decoded(const DecoderState& dec)
{
    return ByteString(dec.DecodedFrame.begin() + 1, dec.DecodedFrame.begin() + 1 + dec.DecodedFrameLength);
}

struct UnpackCase {
    const char* situation;
    const char* received;
    const char* decoded;
};

void PrintTo(const UnpackCase& c, std::ostream* os) { *os << c.situation; }

class UnpackTable : public ::testing::TestWithParam<UnpackCase> {};

TEST_P(UnpackTable, UnescapesAsTncsAreRead)
{
    const UnpackCase& c = GetParam();
    DecoderState dec;
    UnpackKissFrame(Received(Hex(c.received)), dec);
    EXPECT_EQ(Decoded(dec), Hex(c.decoded)) << c.situation;
}

INSTANTIATE_TEST_SUITE_P(
    EscapeSequences, UnpackTable,
    ::testing::Values(
        UnpackCase{"escaped FEND", "C0 00 41 DB DC 42 C0", "C0 00 41 C0 42 C0"},
        UnpackCase{"escaped FESC", "C0 00 41 DB DD 42 C0", "C0 00 41 DB 42 C0"},
        UnpackCase{"TFEND and TFESC without FESC are ordinary bytes", "C0 00 DC DD C0", "C0 00 DC DD C0"},
        UnpackCase{"the escape waits past a plain byte for the next TFEND", "C0 00 DB 41 DC C0",
                   "C0 00 41 C0 C0"},
        UnpackCase{"a second FESC while one is pending is dropped too", "C0 00 DB DB DD C0", "C0 00 DB C0"},
        UnpackCase{"a dangling FESC before the closing FEND", "C0 00 41 DB C0", "C0 00 41 C0"},
        UnpackCase{"a frame without escapes is copied whole", "C0 00 01 02 FF C0", "C0 00 01 02 FF C0"}));

TEST(Unpack, DanglingEscapeDoesNotReachTheNextFrame)
{
    DecoderState dec;
    UnpackKissFrame(Received(Hex("C0 00 41 DB C0")), dec);
    EXPECT_TRUE(dec.EscapePending);
    UnpackKissFrame(Received(Hex("C0 00 DC C0")), dec);
    EXPECT_EQ(Decoded(dec), Hex("C0 00 DC C0"));
}

TEST(Unpack, EveryByteValueSurvivesEscapingAndUnpacking)
{
    ByteString data;
    for (int b = 0; b <= 255; ++b)
        data.push_back(static_cast<std::uint8_t>(b));
    const ByteString frame = EncodeKissFrame(0x00, data);
    ASSERT_EQ(frame.size(), 2u + 1u + 256u + 2u);  // FEND and FESC take two bytes each

    DecoderState dec;
    UnpackKissFrame(Received(frame), dec);
    ByteString expected{0xC0, 0x00};
    expected.insert(expected.end(), data.begin(), data.end());
    expected.push_back(0xC0);
    EXPECT_EQ(Decoded(dec), expected);
    EXPECT_EQ(dec.DecodedFrameLength, static_cast<int>(frame.size()) - 2);  // minus the two FESCs
}

}  // namespace
}  // namespace quillon::test
