// The address field: the address line and where the control byte stands.
#include <gtest/gtest.h>

#include <ostream>

#include "decoder/decode.h"
#include "decoder/decoder_fixtures.h"

namespace quillon::test {
namespace {

Ax25Address A(const char* call, int ssid = 0, bool bit7 = false) { return {call, ssid, bit7}; }

struct AddressCase {
    const char* situation;
    Ax25Frame frame;
    const char* addressText;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.situation; }

class AddressTable : public ::testing::TestWithParam<AddressCase> {};

// Every frame is a UI frame with one payload byte, so PayloadStart tells
// where the address field ended.
TEST_P(AddressTable, BuildsTheAddressLine)
{
    const AddressCase& c = GetParam();
    DecoderState dec;
    DecodeAx25Frame(ReceivedAx25(c.frame), dec);
    EXPECT_EQ(dec.AddressText, c.addressText) << c.situation;
    EXPECT_EQ(dec.ControlText, "UI") << c.situation;
    EXPECT_EQ(dec.PayloadStart, 17 + 7 * static_cast<int>(c.frame.digipeaters.size()) + 2) << c.situation;
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, AddressTable,
    ::testing::Values(
        AddressCase{"no digipeaters", {A("BEACON"), A("NOCALL", 3), {}, 0x03, 0xF0, "x"},
                    "from NOCALL-3 to BEACON: "},
        AddressCase{"SSID 15", {A("BEACON", 15), A("NOCALL", 15), {}, 0x03, 0xF0, "x"},
                    "from NOCALL-15 to BEACON-15: "},
        AddressCase{"two digipeaters, the first repeated",
                    {A("BEACON"), A("NOCALL", 3), {A("RELAY", 1, true), A("NODE", 2)}, 0x03, 0xF0, "x"},
                    "from NOCALL-3 to BEACON via RELAY-1*,NODE-2: "},
        AddressCase{"two digipeaters, neither repeated",
                    {A("BEACON"), A("NOCALL", 3), {A("RELAY", 1), A("NODE", 2)}, 0x03, 0xF0, "x"},
                    "from NOCALL-3 to BEACON via RELAY-1,NODE-2: "},
        AddressCase{"repeated digipeater with SSID 0",
                    {A("BEACON"), A("NOCALL"), {A("RELAY", 0, true)}, 0x03, 0xF0, "x"},
                    "from NOCALL to BEACON via RELAY*: "},
        AddressCase{"blank first digipeater hides the whole via list",
                    {A("BEACON"), A("NOCALL"), {A(""), A("RELAY", 1, true)}, 0x03, 0xF0, "x"},
                    "from NOCALL to BEACON: "},
        AddressCase{"blank later digipeater is left out",
                    {A("BEACON"), A("NOCALL"), {A("RELAY", 1, true), A(""), A("NODE")}, 0x03, 0xF0, "x"},
                    "from NOCALL to BEACON via RELAY-1*,NODE: "},
        AddressCase{"blank callsign with an SSID still fills its slot",
                    {A("BEACON"), A("NOCALL"), {A("", 4)}, 0x03, 0xF0, "x"},
                    "from NOCALL to BEACON via -4: "},
        AddressCase{"blank inside a callsign is removed", {A("AB CD"), A(" N0 C "), {}, 0x03, 0xF0, "x"},
                    "from N0C to ABCD: "},
        AddressCase{"command/response bits change nothing",
                    {A("BEACON", 0, true), A("NOCALL", 3, true), {}, 0x03, 0xF0, "x"},
                    "from NOCALL-3 to BEACON: "}));

TEST(AddressField, NineDigipeatersWithoutFinalExtensionBitEndAtPosition80)
{
    Ax25Frame frame{A("BEACON"), A("NOCALL"), {}, 0x03, 0xF0, ""};
    for (int i = 1; i <= 9; ++i)
        frame.digipeaters.push_back(A("DIGI", i));
    ByteString ax25 = EncodeAx25(frame);
    // Clear the extension bit of the ninth digipeater; the byte behind it
    // (the UI control byte) now stands where a tenth address would begin.
    ax25[7 * 11 - 1] &= 0xFE;

    DecoderState dec;
    DecodeAx25Frame(Received(EncodeKissFrame(0x00, ax25)), dec);
    EXPECT_EQ(dec.AddressText,
              "from NOCALL to BEACON via DIGI-1,DIGI-2,DIGI-3,DIGI-4,DIGI-5,DIGI-6,DIGI-7,DIGI-8,DIGI-9: ");
    EXPECT_EQ(dec.ControlByte, 0x03);
    EXPECT_EQ(dec.PayloadStart, 82);
}

TEST(AddressField, TenthAddressOfAnOverlongFieldIsNotRead)
{
    Ax25Frame frame{A("BEACON"), A("NOCALL"), {}, 0x03, 0xF0, "x"};
    for (int i = 1; i <= 10; ++i)
        frame.digipeaters.push_back(A("DIGI", i));
    DecoderState dec;
    DecodeAx25Frame(ReceivedAx25(frame), dec);
    EXPECT_EQ(dec.DigipeaterCalls[9], "DIGI-9");
    EXPECT_EQ(dec.AddressText.find("DIGI-10"), std::string::npos);
    // The first byte of the tenth address, 'D' shifted, is taken as control byte.
    EXPECT_EQ(dec.ControlByte, 'D' << 1);
}

TEST(AddressField, SlotsOfAnEarlierFrameAreEmptied)
{
    DecoderState dec;
    DecodeAx25Frame(ReceivedAx25({A("APRS"), A("NOCALL"), {A("RELAY", 1), A("NODE", 2)}, 0x03, 0xF0, "x"}), dec);
    DecodeAx25Frame(ReceivedAx25({A("APRS"), A("NOCALL"), {}, 0x03, 0xF0, "x"}), dec);
    EXPECT_EQ(dec.AddressText, "from NOCALL to APRS: ");
    for (const std::string& slot : dec.DigipeaterCalls)
        EXPECT_EQ(slot, "");
}

}  // namespace
}  // namespace quillon::test
