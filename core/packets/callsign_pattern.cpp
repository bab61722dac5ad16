#include "callsign_pattern.h"

#include <cstddef>

namespace quillon {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool MatchesCallsignPattern(std::string_view pattern, std::string_view call)
{
    // Greedy with one step back: on a mismatch, the last "*" takes one more
    // character of the call. Linear in practice, never exponential.
    std::size_t p = 0;
    std::size_t c = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t starCall = 0;
    while (c < call.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            starCall = c;
        } else if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(call[c]))) {
            ++p;
            ++c;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            c = ++starCall;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace quillon
