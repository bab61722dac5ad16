#include "json.h"

#include "codepage.h"
#include "hex.h"

namespace quillon {

void AppendJsonString(std::string& out, std::string_view text)
{
    out.reserve(out.size() + text.size() + 2);
    out.push_back('"');
    for (const char byte : text) {
        const char16_t c = Windows1252ToUnicode(static_cast<std::uint8_t>(byte));
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out.append("\\u00");
            AppendHex(out, static_cast<std::uint8_t>(c));
        } else {
            AppendUtf8(out, c);
        }
    }
    out.push_back('"');
}

}  // namespace quillon
