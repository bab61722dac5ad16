#include "tnc/kiss_escapes.h"

namespace quillon {

EscapeCounts CountKissEscapes(const ReceiveState& rx)
{
    EscapeCounts counts;
    for (int position = 1; position < rx.RawFrameLength; ++position) {
        if (rx.At(position) != FESC)
            continue;
        const std::uint8_t next = rx.At(position + 1);
        if (next == TFESC)
            ++counts.tfesc;
        else if (next == TFEND)
            ++counts.tfend;
    }
    return counts;
}

}  // namespace quillon
