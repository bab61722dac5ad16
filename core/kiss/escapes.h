// The KISS transparency escapes: a FEND or FESC in the data travels as two
// bytes, so that a FEND on the line always delimits a frame.
//   FEND in the data  C0  ->  FESC TFEND  DB DC
//   FESC in the data  DB  ->  FESC TFESC  DB DD
// Writing them, reading them back, and counting them in frames as received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "kiss.h"

namespace quillon {

// Appends `data` to `out` with every FEND and FESC escaped.
void AppendKissEscaped(ByteString& out, std::span<const std::uint8_t> data);

// The frame as a TNC sends it: FEND, the command byte and the data, both
// escaped, FEND.
ByteString EncodeKissFrame(std::uint8_t command, std::span<const std::uint8_t> data);

struct Unescaped {
    std::size_t length = 0;      // bytes written
    bool escapePending = false;  // the input ended after an FESC that translated nothing
};

// Writes `raw` to `out` (room for at least raw.size() bytes) with the escapes
// undone. Escapes are read leniently: an FESC is dropped and stays pending
// until the next TFEND or TFESC, which is then translated; bytes in between
// are written unchanged. A TFEND or TFESC with nothing pending is an ordinary
// byte, and so is a FEND.
//   C0 00 41 DB DC 42 C0  ->  C0 00 41 C0 42 C0
//   C0 00 DB 41 DC C0     ->  C0 00 41 C0 C0
Unescaped UnescapeKiss(std::span<const std::uint8_t> raw, std::span<std::uint8_t> out);

struct EscapeCounts {
    std::uint32_t tfesc = 0;  // FESC TFESC, DB DD: an FESC in the data
    std::uint32_t tfend = 0;  // FESC TFEND, DB DC: an FEND in the data
};

// Counts the escape sequences of a frame as received. A sequence is the two
// bytes side by side; a lone TFEND or TFESC is an ordinary byte, and an FESC
// followed by anything else escapes nothing. Raw and decoded frames count
// alike.
//   C0 00 41 DB DC 42 DB DD C0   ->  1 TFESC, 1 TFEND
//   C0 00 DB DB DD C0            ->  1 TFESC
EscapeCounts CountKissEscapes(std::span<const std::uint8_t> frame);

}  // namespace quillon
