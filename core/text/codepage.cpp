#include "codepage.h"

#include <array>

namespace quillon {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t Windows1252ToUnicode(std::uint8_t byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return kHighControls[byte - 0x80u];
    return byte;
}

void AppendUtf8(std::string& out, char16_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Windows1252ToUtf8(std::string_view text, bool controlsAsDots)
{
    // ASCII, the bulk of any console text, is its own UTF-8: it goes over a
    // run at a time, and only the other bytes one by one.
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t run = 0;  // where the run of bytes that stay as they are begins
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t byte = static_cast<std::uint8_t>(text[i]);
        if (byte >= 32 && byte < 127)
            continue;
        const char16_t c = Windows1252ToUnicode(byte);
        if (c < 0x80 && !controlsAsDots)
            continue;
        out.append(text.substr(run, i - run));
        if (controlsAsDots && (c < 32 || (c >= 127 && c < 0xA0)))
            out.push_back('.');
        else
            AppendUtf8(out, c);
        run = i + 1;
    }
    out.append(text.substr(run));
    return out;
}

}  // namespace quillon
