#include "time_frame.h"

#include "kiss/frame_assembler.h"
#include "timesvc/timesvc.h"

namespace quillon {

namespace {

// Offsets of the 23-character stamp and of " UTC" within the frame.
constexpr std::size_t kStampOffset = 2;
constexpr int kStampLength = 23;
constexpr std::string_view kUtc = " UTC";

}  // namespace

std::string EncodeTimeFrame(std::chrono::system_clock::time_point t)
{
    std::string frame;
    frame.reserve(kTimeFrameLength);
    frame += char(FEND);
    frame += char(kTimeCommand);
    frame += FormatTimestamp(t);
    frame += kUtc;
    frame += char(FEND);
    return frame;
}

std::optional<std::chrono::system_clock::time_point> DecodeTimeFrame(std::span<const std::uint8_t> frame)
{
    if (frame.size() != std::size_t(kTimeFrameLength) || frame[0] != FEND || frame[1] != kTimeCommand ||
        frame.back() != FEND)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(&frame[kStampOffset]);
    if (std::string_view(text + kStampLength, kUtc.size()) != kUtc)
        return std::nullopt;
    return ParseTimestamp(std::string_view(text, kStampLength));
}

std::string StripTimeFrames(std::string_view log, std::size_t* timeFrames)
{
    std::string frames;
    frames.reserve(log.size());
    std::size_t stripped = 0;
    ReceiveState rx;
    for (const char c : log) {
        if (AssembleByte(rx, static_cast<std::uint8_t>(c)) != Assembled::Frame)
            continue;
        const std::span<const std::uint8_t> frame = rx.Bytes();
        if (DecodeTimeFrame(frame))
            ++stripped;
        else
            frames.append(reinterpret_cast<const char*>(frame.data()), frame.size());
    }
    if (timeFrames != nullptr)
        *timeFrames = stripped;
    return frames;
}

}  // namespace quillon
