#include "kiss_unpack.h"

#include <algorithm>

#include "kiss/escapes.h"

namespace quillon {

void UnpackKissFrame(std::span<const std::uint8_t> raw, DecoderState& dec)
{
    const Unescaped result = UnescapeKiss(raw.first(std::min<std::size_t>(raw.size(), kDecodedFrameSize)),
                                          std::span(dec.DecodedFrame).subspan(1));
    dec.EscapePending = result.escapePending;
    dec.DecodedFrameLength = static_cast<std::int16_t>(result.length);
}

}  // namespace quillon
