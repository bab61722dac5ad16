// The 8-bit code page of the console and the logs.
#include <gtest/gtest.h>

#include "app/codepage.h"

namespace quillon {
namespace {

struct CodepageCase {
    std::uint8_t byte;
    char16_t character;
};

class Codepage : public ::testing::TestWithParam<CodepageCase> {};

TEST_P(Codepage, MapsAsWindows1252)
{
    EXPECT_EQ(Windows1252ToUnicode(GetParam().byte), GetParam().character);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Codepage,
    ::testing::Values(CodepageCase{0x41, u'A'}, CodepageCase{0x7F, 0x7F}, CodepageCase{0x80, u'\u20AC'},
                      CodepageCase{0x8A, u'\u0160'}, CodepageCase{0x93, u'\u201C'}, CodepageCase{0x99, u'\u2122'},
                      CodepageCase{0x9F, u'\u0178'}, CodepageCase{0xA0, 0xA0}, CodepageCase{0xC0, u'\u00C0'},
                      CodepageCase{0xFF, u'\u00FF'},
                      // undefined in Windows-1252: kept as in Latin-1
                      CodepageCase{0x81, 0x81}, CodepageCase{0x8D, 0x8D}, CodepageCase{0x8F, 0x8F},
                      CodepageCase{0x90, 0x90}, CodepageCase{0x9D, 0x9D}));

TEST(CodepageRange, OnlyTheBytes80To9FDifferFromLatin1)
{
    for (int b = 0; b <= 255; ++b) {
        if (b < 0x80 || b >= 0xA0) {
            EXPECT_EQ(Windows1252ToUnicode(static_cast<std::uint8_t>(b)), static_cast<char16_t>(b)) << b;
        }
    }
}

}  // namespace
}  // namespace quillon
