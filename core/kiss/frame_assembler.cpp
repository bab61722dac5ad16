#include "frame_assembler.h"

namespace quillon {

void ResetFrameAssembly(ReceiveState& rx)
{
    rx.FrameOpen = false;
    rx.RawFrameLength = 0;
    rx.Discarding = false;
}

Assembled AssembleByte(ReceiveState& rx, std::uint8_t b)
{
    // A finished frame (or a dropped byte) is held until the next byte.
    if (!rx.FrameOpen)
        rx.RawFrameLength = 0;
    if (rx.Discarding) {
        if (b != FEND)
            return Assembled::Discarded;
        rx.Discarding = false;
    }

    if (b == FEND) {
        if (rx.RawFrameLength == 0) {
            rx.FrameOpen = true;
            rx.RawFrameLength = 1;
            rx.At(1) = FEND;
            return Assembled::Collecting;
        }
        if (rx.RawFrameLength == 1)
            return Assembled::Collecting;  // doubled FEND: the frame stays open
    }

    if (rx.RawFrameLength >= kRawFrameSize) {
        ResetFrameAssembly(rx);
        rx.Discarding = b != FEND;
        return Assembled::Dropped;
    }

    ++rx.RawFrameLength;
    rx.At(rx.RawFrameLength) = b;
    if (b != FEND && rx.FrameOpen)
        return Assembled::Collecting;
    if (b != FEND)
        return Assembled::Idle;  // stored at position 1, forgotten at the next byte

    rx.FrameOpen = false;
    return Assembled::Frame;
}

}  // namespace quillon
