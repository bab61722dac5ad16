// The console's text on its own, without a window: its lines, colours and copies across compressed
// chunks, and finding in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "text/console_text.h"

namespace quillon::test { namespace {

// The text on its own across several compressed chunks: every line and its colour, a copy of the
// whole, and finding at or behind a place and before it, round the ends, letters of either case alike.
TEST(ConsoleText, LinesColoursCopiesAndFindsAcrossChunks)
{
    ConsoleText text;
    std::string all;
    std::vector<std::uint64_t> marks;
    for (int i = 0; text.Size() < 3 * ConsoleText::kChunkBytes; ++i) {
        if (i == 500 || i == 9000)
            marks.push_back(text.Size() + 5);
        const std::string line = "line " + std::string(i == 500 || i == 9000 ? "\xC9t\xE9 " : "") + std::to_string(i);
        text.Append(line, std::uint32_t(i % 3));
        text.Append("\r", std::uint32_t(i % 3));
        all += line + "\n";
    }
    ASSERT_EQ(text.LineCount(), std::uint64_t(std::count(all.begin(), all.end(), '\n') + 1));
    std::string lines;
    for (std::uint64_t i = 0; i + 1 < text.LineCount(); ++i) {
        const ConsoleText::Line line = text.LineAt(i);
        lines += std::string(line.text) + (line.colours[0].colour == i % 3 ? "\n" : " in another colour\n");
    }
    EXPECT_EQ(lines, all);
    EXPECT_EQ(text.Between(0, text.Size()), all);

    const std::uint64_t a = marks[0], b = marks[1];
    const std::tuple<std::uint64_t, bool, std::uint64_t> rows[] = {
        {0, true, a}, {a, true, a}, {a + 1, true, b}, {b + 1, true, a},
        {a, false, b}, {a + 1, false, a}, {b, false, a}, {text.Size(), false, b}};
    for (const auto& [from, forward, found] : rows)
        EXPECT_EQ(text.Find("\xC9T\xC9", from, forward), found) << from << (forward ? " forward" : " backward");
    EXPECT_EQ(text.Find("line 9000", 0, true), std::nullopt);
    EXPECT_EQ(text.Find("0\nline", 0, true), std::nullopt);
}

} }  // namespace quillon::test
