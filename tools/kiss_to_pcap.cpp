#include "kiss_to_pcap.h"

#include <span>

#include "decoder/kiss_unpack.h"
#include "pcap_writer.h"

namespace quillon {

KissToPcap::KissToPcap(TimePoint fallbackTime) : fallback_(fallbackTime) {}

void KissToPcap::Feed(const std::uint8_t* bytes, std::size_t count, std::string& out)
{
    out_ = &out;
    receiver_.Feed(std::string_view(reinterpret_cast<const char*>(bytes), count), *this);
}

void KissToPcap::RawLog(std::string_view frame)
{
    UnpackKissFrame(std::span(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()), dec_);
    // Positions 1 and DecodedFrameLength hold the FENDs. Only a lone escape
    // between them (C0 DB C0) leaves nothing, not even a command byte: the
    // record is then empty, still one per frame.
    const std::span<const std::uint8_t> packet(&dec_.DecodedFrame[2],
                                               static_cast<std::size_t>(dec_.DecodedFrameLength - 2));
    AppendPcapRecord(*out_, lastTime_.value_or(fallback_), packet);
    ++records_;
}

}  // namespace quillon
