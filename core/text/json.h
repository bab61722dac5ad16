// JSON text (RFC 8259) for the JSON Lines log.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Appends `text`, bytes in the code page (Windows-1252) as they came over the
// air, as a JSON string with its quotes. Whatever the bytes, the result is
// valid UTF-8 on one line, and a JSON reader gets back one character per
// byte: each byte becomes its Windows-1252 character; the quote and the
// backslash are escaped with a backslash; every control character (below 32,
// 127, and 128 to 159, among them the five bytes Windows-1252 leaves
// undefined) is escaped as \u00XX, never dropped. Bytes 41 22 5C 0D 81 E9
// give "A\"\\\u000D\u0081" and the e acute of E9 in UTF-8 (C3 A9) before the
// closing quote.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace quillon
