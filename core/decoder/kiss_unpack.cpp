#include "decoder/kiss_unpack.h"

#include <algorithm>

namespace quillon {

// Escapes are read leniently: an FESC is dropped and stays pending until the
// next TFEND or TFESC of the frame, which is then translated; bytes in
// between are stored unchanged. A TFEND or TFESC with nothing pending is an
// ordinary byte, and so are both FENDs.
//   C0 00 41 DB DC 42 C0  ->  C0 00 41 C0 42 C0
//   C0 00 DB 41 DC C0     ->  C0 00 41 C0 C0
void UnpackKissFrame(std::span<const std::uint8_t> raw, DecoderState& dec)
{
    dec.EscapePending = false;
    dec.DecodedFrameLength = 0;
    int length = 0;
    for (std::uint8_t b : raw.first(std::min<std::size_t>(raw.size(), kDecodedFrameSize))) {
        if (b == FESC) {
            dec.EscapePending = true;
            continue;
        }
        if (dec.EscapePending && (b == TFESC || b == TFEND)) {
            b = (b == TFESC) ? FESC : FEND;
            dec.EscapePending = false;
        }
        dec.DecodedFrame[static_cast<std::size_t>(++length)] = b;
    }
    dec.DecodedFrameLength = static_cast<std::int16_t>(length);
}

}  // namespace quillon
