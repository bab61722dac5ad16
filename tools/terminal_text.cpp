#include "terminal_text.h"

#include <algorithm>
#include <array>

#include "text/codepage.h"

namespace quillon {

namespace {

constexpr std::string_view kReset = "\x1b[0m";

// UTF-8 of the bytes 0x80..0xFF, worked out once. The five bytes that
// Windows-1252 leaves empty map to C1 control characters, which some
// terminals obey (0x9D starts an operating-system command): a payload from
// the air must not drive the terminal, so they print as ".".
const std::array<std::string, 128>& HighBytes()
{
    static const std::array<std::string, 128> table = [] {
        std::array<std::string, 128> t{};
        for (std::size_t i = 0; i < t.size(); ++i) {
            const char16_t c = Windows1252ToUnicode(static_cast<std::uint8_t>(0x80 + i));
            AppendUtf8(t[i], c < 0xA0 ? u'.' : c);
        }
        return t;
    }();
    return table;
}

bool IsPlain(char c)
{
    const auto b = static_cast<std::uint8_t>(c);
    return b >= 0x20 && b < 0x7F;  // DEL prints as "." too
}

// Plain ASCII goes out in whole stretches; the rest byte by byte.
void AppendCharacters(std::string& out, std::string_view text)
{
    auto plainEnd = text.begin();
    for (auto it = text.begin(); it != text.end(); it = plainEnd) {
        plainEnd = std::find_if_not(it, text.end(), IsPlain);
        out.append(it, plainEnd);
        if (plainEnd == text.end())
            break;
        const auto b = static_cast<std::uint8_t>(*plainEnd++);
        if (b >= 0x80) {
            out.append(HighBytes()[b - 0x80u]);
        } else {
            out.push_back('.');
        }
    }
}

}  // namespace

std::string_view AnsiColour(std::uint32_t colour)
{
    switch (colour) {
    case colour::Grey: return "\x1b[90m";
    case colour::Red: return "\x1b[31m";
    case colour::Green: return "\x1b[32m";
    case colour::Blue: return "\x1b[34m";
    case colour::Purple: return "\x1b[35m";
    case colour::DisabledText: return "\x1b[2;37m";
    default: return {};  // black and anything else: the terminal's text colour
    }
}

void AppendTerminalText(std::string& out, const ConsoleRun& run, bool colour)
{
    const std::string_view on = colour ? AnsiColour(run.colour) : std::string_view{};
    const std::string_view text = run.text;
    for (auto begin = text.begin(); begin != text.end();) {
        const auto end = std::find_if(begin, text.end(), [](char c) { return c == '\r' || c == '\n'; });
        if (begin != end) {
            out.append(on);
            AppendCharacters(out, std::string_view(begin, end));
            if (!on.empty())
                out.append(kReset);
        }
        if (end == text.end())
            break;
        out.push_back('\n');
        begin = end + 1;
    }
}

}  // namespace quillon
