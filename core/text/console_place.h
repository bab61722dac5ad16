// Places in the console's text: a position is a character's offset from the
// start of the whole text, a line number counts the lines from 0. Both are
// numbers underneath, but of different things, so each has a type of its
// own: a line where a position belongs (or the reverse) does not compile,
// and a plain number becomes either only when written out as one.
#pragma once

#include <compare>
#include <cstdint>
#include <ostream>

namespace quillon {

template <class Tag>
struct TextPlace {
    constexpr TextPlace() = default;
    constexpr explicit TextPlace(std::uint64_t number) : value(number) {}

    friend constexpr auto operator<=>(TextPlace, TextPlace) = default;
    // `count` characters or lines further on.
    friend constexpr TextPlace operator+(TextPlace place, std::uint64_t count)
    {
        return TextPlace(place.value + count);
    }
    // How many characters or lines `to` is behind `from`.
    friend constexpr std::uint64_t operator-(TextPlace to, TextPlace from) { return to.value - from.value; }
    friend std::ostream& operator<<(std::ostream& out, TextPlace place) { return out << place.value; }

    std::uint64_t value = 0;
};

using TextPosition = TextPlace<struct PositionTag>;
using LineNumber = TextPlace<struct LineNumberTag>;

}  // namespace quillon
