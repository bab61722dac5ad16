#include <gtest/gtest.h>

#include "app/configuration.h"

namespace quillon {
namespace {

struct ConfigCase {
    const char* name;
    std::string text;
    ConfigurationRecord expected;
};

ConfigurationRecord With(std::string ConfigurationRecord::*field, std::string value,
                         ConfigurationRecord base = {})
{
    base.*field = std::move(value);
    return base;
}

TEST(Configuration, ReadsKeysAsTheFileSpellsThem)
{
    using C = ConfigurationRecord;
    const ConfigCase cases[] = {
        {"small letters and blanks", "com_port = 3\r\n", With(&C::COM_PORT, "3")},
        {"comment in column 1", "#COM_PORT=3\r\n", {}},
        {"blank before # is no comment", " #COM_PORT=3\r\nCOM_PORT=4", With(&C::COM_PORT, "4")},
        {"value keeps further =", "TIMESERVER=a=b = c\r\n", With(&C::TIMESERVER, "A=B = C")},
        {"last occurrence wins", "COM_PORT=3\r\nCOM_PORT=5\r\n", With(&C::COM_PORT, "5")},
        {"unknown key ignored", "SPEED=9600\r\nHEXFILE=yes\r\n", With(&C::HEXFILE, "YES")},
        {"line without = skipped", "   \r\nMIRROR\r\nMIRROR=yes", With(&C::MIRROR, "YES")},
        {"tabs are not blanks", "HEXFILE=\tyes\t\r\n", With(&C::HEXFILE, "\tYES\t")},
        {"empty value empties", "MIRROR=YES\r\nMIRROR=\r\n", With(&C::MIRROR, "")},
        {"lone CR ends a line", "COM_PORT=3\rMIRROR=Y\r", With(&C::MIRROR, "Y", With(&C::COM_PORT, "3"))},
        {"lone LF ends a line", "COM_PORT=3\nHEXFILE=no\n", With(&C::HEXFILE, "NO", With(&C::COM_PORT, "3"))},
        {"last line without end", "COM_SETTINGS=9600,n,8,1", With(&C::COM_SETTINGS, "9600,N,8,1")},
        {"empty file", "", {}},
        {"key with blank inside", "COM PORT=3", {}},
        {"NUL bytes and junk", std::string("\0\xff\xc0=\x01\nCOM_PORT=\0" "7\n", 18),
         With(&C::COM_PORT, std::string("\0" "7", 2))},
    };
    for (const auto& c : cases) {
        const ConfigurationRecord got = ParseConfiguration(c.text);
        EXPECT_EQ(got.COM_PORT, c.expected.COM_PORT) << c.name;
        EXPECT_EQ(got.COM_SETTINGS, c.expected.COM_SETTINGS) << c.name;
        EXPECT_EQ(got.TIMESERVER, c.expected.TIMESERVER) << c.name;
        EXPECT_EQ(got.HEXFILE, c.expected.HEXFILE) << c.name;
        EXPECT_EQ(got.MIRROR, c.expected.MIRROR) << c.name;
    }
}

TEST(Configuration, SwitchIsOnOnlyForYes)
{
    EXPECT_TRUE(IsOn(ParseConfiguration("MIRROR=yes").MIRROR));
    EXPECT_TRUE(IsOn(ParseConfiguration("MIRROR=  YeS ").MIRROR));
    for (const char* off : {"MIRROR=Y", "MIRROR=TRUE", "MIRROR=1", "MIRROR=YES PLEASE", ""})
        EXPECT_FALSE(IsOn(ParseConfiguration(off).MIRROR)) << off;
}

TEST(Configuration, HugeLinesAndMissingFile)
{
    std::string text = "COM_PORT=" + std::string(10 * 1024 * 1024, 'x') + "\nHEXFILE=YES\n";
    const auto config = ParseConfiguration(text);
    EXPECT_EQ(config.COM_PORT.size(), 10u * 1024 * 1024);
    EXPECT_EQ(config.HEXFILE, "YES");

    std::string contents = "kept";
    EXPECT_FALSE(ReadWholeFile("/nonexistent/quillon.ini", contents));
}

}  // namespace
}  // namespace quillon
