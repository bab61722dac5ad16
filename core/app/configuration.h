// quillon.ini: KEY=VALUE lines, read once at start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/app.h"

namespace quillon {

// Reads the configuration from the file's text. Every line is upper-cased;
// an empty line or one with "#" in the first column is skipped, and so is a
// line without "=". The key is the text before the first "=", the value the
// rest, both trimmed of blanks (tabs stay). A known key's last occurrence
// wins; unknown keys are ignored.
ConfigurationRecord ParseConfiguration(std::string_view text);

// A COM port number field: a whole number from 1 to 32767, nothing else.
std::optional<std::int16_t> ParsePortNumber(std::string_view field);

}  // namespace quillon
