// The control field: mnemonic, PID and where the payload starts.
#include <gtest/gtest.h>

#include <ostream>

#include "decoder/decode.h"
#include "decoder/decoder_fixtures.h"

namespace quillon::test {
namespace {

struct ControlCase {
    std::uint8_t control;
    const char* mnemonic;
    bool hasPid;
};

void PrintTo(const ControlCase& c, std::ostream* os) { *os << "control byte " << int(c.control) << " -> " << c.mnemonic; }

class ControlTable : public ::testing::TestWithParam<ControlCase> {};

// The frame carries the control byte, then 0x5A and 0xA5: a frame with PID
// shows 0x5A as PID and one payload byte, a frame without shows two.
TEST_P(ControlTable, NamesTheFrameAndFindsThePayload)
{
    const ControlCase& c = GetParam();
    const Ax25Frame frame{{"BEACON", 0, false}, {"NOCALL", 0, false}, {}, c.control, std::nullopt, "\x5A\xA5"};
    DecoderState dec;
    dec.PidByte = 0x77;  // left from an earlier frame
    DecodeAx25Frame(ReceivedAx25(frame), dec);

    EXPECT_EQ(dec.ControlByte, c.control);
    EXPECT_EQ(dec.ControlText, c.mnemonic);
    if (c.hasPid) {
        EXPECT_EQ(dec.PidByte, 0x5A);
        EXPECT_EQ(dec.PayloadStart, 19);
    } else {
        EXPECT_EQ(dec.PidByte, std::nullopt);
        EXPECT_EQ(dec.PayloadStart, 18);
    }
}

INSTANTIATE_TEST_SUITE_P(
    InformationFrames, ControlTable,
    ::testing::Values(ControlCase{0x00, "I00^", true}, ControlCase{0x10, "I00+", true},
                      ControlCase{0xB6, "I53+", true}, ControlCase{0xEE, "I77^", true},
                      ControlCase{0x22, "I11^", true}));

INSTANTIATE_TEST_SUITE_P(
    SupervisoryFrames, ControlTable,
    ::testing::Values(ControlCase{0x01, "RR0v", false}, ControlCase{0x11, "RR0-", false},
                      ControlCase{0xE1, "RR7v", false}, ControlCase{0x05, "RNR0v", false},
                      ControlCase{0x09, "REJ0v", false}, ControlCase{0x0D, "SREJ0v", false},
                      ControlCase{0x3D, "SREJ1-", false}));

INSTANTIATE_TEST_SUITE_P(
    UnnumberedFrames, ControlTable,
    ::testing::Values(ControlCase{0x6F, "SABME^", false}, ControlCase{0x7F, "SABME+", false},
                      ControlCase{0x2F, "SABM^", false}, ControlCase{0x3F, "SABM+", false},
                      ControlCase{0x43, "DISC^", false}, ControlCase{0x53, "DISC+", false},
                      ControlCase{0x0F, "DMv", false}, ControlCase{0x1F, "DM-", false},
                      ControlCase{0x63, "UAv", false}, ControlCase{0x73, "UA-", false},
                      ControlCase{0x87, "FRMRv", false}, ControlCase{0x97, "FRMR-", false},
                      ControlCase{0x03, "UI", true}, ControlCase{0x13, "UI!", true},
                      ControlCase{0xAF, "XID", false}, ControlCase{0xBF, "XID!", false},
                      ControlCase{0xE3, "TEST", false}, ControlCase{0xF3, "TEST!", false},
                      ControlCase{0x0B, "UNKNOWN U", false}, ControlCase{0x1B, "UNKNOWN U", false},
                      ControlCase{0xFF, "UNKNOWN U", false}));

}  // namespace
}  // namespace quillon::test
