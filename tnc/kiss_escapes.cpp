#include "tnc/kiss_escapes.h"

namespace quillon {

void CountKissEscapes(const ReceiveState& rx, Counters& counters)
{
    std::uint32_t tfesc = 0;
    std::uint32_t tfend = 0;
    for (int position = 1; position < rx.RawFrameLength; ++position) {
        if (rx.At(position) != FESC)
            continue;
        const std::uint8_t next = rx.At(position + 1);
        if (next == TFESC)
            ++tfesc;
        else if (next == TFEND)
            ++tfend;
    }
    AddWrapping(counters.TfescCount, tfesc);
    AddWrapping(counters.TfendCount, tfend);
}

}  // namespace quillon
