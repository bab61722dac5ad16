// Lines of text files: the settings file and the TNC scripts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Splits a text into lines: CR LF, a lone CR and a lone LF each end a line;
// the line end is not part of the line. A last line without an end counts.
std::vector<std::string_view> SplitLines(std::string_view text);

// ASCII letters upper-cased, every other byte kept.
std::string UpperCase(std::string_view s);

}  // namespace quillon
