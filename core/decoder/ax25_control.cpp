#include "ax25_control.h"

#include <array>
#include <string_view>

#include "frame_bytes.h"

namespace quillon {

namespace {

// The control byte, bit 7 on the left:
//
//              7   6   5    4     3   2   1   0
//            +-----------+-----+-----------+---+
//   I frame  |   N(R)    |  P  |   N(S)    | 0 |
//            +-----------+-----+-------+---+---+
//   S frame  |   N(R)    | P/F | S   S | 0   1 |
//            +-----------+-----+-------+-------+
//   U frame  |  M  M  M  | P/F | M   M | 1   1 |
//            +-----------+-----+-------+-------+
//
// The U modifier M joins bits 7..5 (high) and 3..2 (low) into five bits.
constexpr std::uint8_t kPollFinalBit = 0x10;
int ReceiveSequence(std::uint8_t c) { return c >> 5; }
int SendSequence(std::uint8_t c) { return (c >> 1) & 0x07; }
int SupervisoryType(std::uint8_t c) { return (c >> 2) & 0x03; }
int Modifier(std::uint8_t c) { return ((c & 0xE0) >> 3) | ((c & 0x0C) >> 2); }
char Digit(int n) { return static_cast<char>('0' + n); }

// Suffixes by P/F set and clear: connection commands and I frames "+" / "^",
// responses and S frames "-" / "v", UI, XID and TEST "!" / nothing.
struct Suffix {
    std::string_view set, clear;
};
constexpr Suffix kCommand{"+", "^"};
constexpr Suffix kResponse{"-", "v"};
constexpr Suffix kPlain{"!", ""};

struct UnnumberedFrame {
    int modifier;
    std::string_view name;
    Suffix suffix;
};
constexpr std::array<UnnumberedFrame, 9> kUnnumbered{{
    {15, "SABME", kCommand},
    {7, "SABM", kCommand},
    {8, "DISC", kCommand},
    {3, "DM", kResponse},
    {12, "UA", kResponse},
    {17, "FRMR", kResponse},
    {0, "UI", kPlain},
    {23, "XID", kPlain},
    {28, "TEST", kPlain},
}};
constexpr int kUiModifier = 0;

constexpr std::array<std::string_view, 4> kSupervisory{"RR", "RNR", "REJ", "SREJ"};

void AppendSuffix(std::string& text, Suffix suffix, std::uint8_t c)
{
    text.append((c & kPollFinalBit) ? suffix.set : suffix.clear);
}

}  // namespace

bool NameControlByte(std::uint8_t c, std::string& text)
{
    text.clear();
    if ((c & 0x01) == 0) {
        text.push_back('I');
        text.push_back(Digit(ReceiveSequence(c)));
        text.push_back(Digit(SendSequence(c)));
        AppendSuffix(text, kCommand, c);
        return true;
    }
    if ((c & 0x02) == 0) {
        text.append(kSupervisory[static_cast<std::size_t>(SupervisoryType(c))]);
        text.push_back(Digit(ReceiveSequence(c)));
        AppendSuffix(text, kResponse, c);
        return false;
    }
    const int m = Modifier(c);
    for (const UnnumberedFrame& u : kUnnumbered) {
        if (u.modifier == m) {
            text.append(u.name);
            AppendSuffix(text, u.suffix, c);
            return m == kUiModifier;
        }
    }
    text.append("UNKNOWN U");
    return false;
}

void DecodeControlField(DecoderState& dec, int controlPosition)
{
    dec.ControlByte = FrameByteOr(dec, controlPosition, kMissingByte);
    if (NameControlByte(dec.ControlByte, dec.ControlText)) {
        dec.PidByte = FrameByteOr(dec, controlPosition + 1, kMissingByte);
        dec.PayloadStart = static_cast<std::int16_t>(controlPosition + 2);
    } else {
        dec.PidByte.reset();
        dec.PayloadStart = static_cast<std::int16_t>(controlPosition + 1);
    }
}

}  // namespace quillon
