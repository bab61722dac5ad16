// quillon.ini: KEY=VALUE lines, read once at start-up.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"

namespace quillon {

// Splits a text into lines: CR LF, a lone CR and a lone LF each end a line;
// the line end is not part of the line. A last line without an end counts.
std::vector<std::string_view> SplitLines(std::string_view text);

// ASCII letters upper-cased, every other byte kept.
std::string UpperCase(std::string_view s);

// Reads the configuration from the file's text. Every line is upper-cased;
// an empty line or one with "#" in the first column is skipped, and so is a
// line without "=". The key is the text before the first "=", the value the
// rest, both trimmed of blanks (tabs stay). A known key's last occurrence
// wins; unknown keys are ignored.
ConfigurationRecord ParseConfiguration(std::string_view text);

// Reads the whole file into `text`; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text);

}  // namespace quillon
