#include "tnc/kiss_escapes.h"

namespace quillon {

namespace {
// The counters are 32-bit; a station that runs long enough to pass 2^31
// sequences sees the count go round rather than the program misbehave.
void Add(std::int32_t& counter, std::uint32_t n)
{
    counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + n);
}
}  // namespace

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
    Add(counters.TfescCount, tfesc);
    Add(counters.TfendCount, tfend);
}

}  // namespace quillon
