#include "tools/kiss_to_pcap.h"

#include <span>

#include "decoder/kiss_unpack.h"
#include "tnc/frame_assembler.h"
#include "tools/pcap_writer.h"
#include "tools/time_frame.h"

namespace quillon {

void KissToPcap::Feed(const std::uint8_t* bytes, std::size_t count, std::string& out)
{
    for (std::size_t i = 0; i < count; ++i)
        if (AssembleByte(rx_, bytes[i]) == Assembled::Frame)
            OnFrame(out);
}

void KissToPcap::OnFrame(std::string& out)
{
    if (const auto time = ReadTimeFrame(rx_)) {
        lastTime_ = time;
        ++timeFrames_;
        return;
    }
    UnpackKissFrame(rx_, dec_);
    // Positions 1 and DecodedFrameLength hold the FENDs. Only a lone escape
    // between them (C0 DB C0) leaves nothing, not even a command byte: the
    // record is then empty, still one per frame.
    const std::span<const std::uint8_t> packet(&dec_.DecodedFrame[2],
                                               static_cast<std::size_t>(dec_.DecodedFrameLength - 2));
    AppendPcapRecord(out, lastTime_.value_or(fallback_), packet);
    ++records_;
}

}  // namespace quillon
