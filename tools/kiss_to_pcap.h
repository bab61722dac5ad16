// Turns a raw KISS log (.kss) into pcap records of link type 202
// (LINKTYPE_AX25_KISS). The log is cut into frames by the program's own frame
// assembler; each frame becomes one record holding its un-escaped contents,
// the KISS command byte first and the two FENDs left out.
//
// Times: a log written with TIMEFRAMES=YES has a time frame in front of every
// frame; its time (to the millisecond) stamps the frame behind it, and the
// time frames themselves are not exported. A frame without a time frame of
// its own takes the time of the last one seen before it, and while the log
// has shown none, the fallback time (the log file's modification time).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/receiver.h"
#include "decoder/decoder.h"
#include "kiss/kiss.h"

namespace quillon {

class KissToPcap final : private ReceiveSink {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    explicit KissToPcap(TimePoint fallbackTime);

    // Cuts `count` more bytes of the log and appends the records of the
    // frames they complete to `out` (without the pcap file header).
    void Feed(const std::uint8_t* bytes, std::size_t count, std::string& out);

    std::size_t Records() const { return records_; }

private:
    void RawLog(std::string_view frame) override;
    void LogTime(TimePoint t) override { lastTime_ = t; }

    TimePoint fallback_;
    std::optional<TimePoint> lastTime_;  // of the last time frame seen
    Receiver receiver_{RealClock(), {.report = {}, .decode = false, .buildReports = false, .readLogTimes = true}};
    DecoderState dec_;
    std::string* out_ = nullptr;
    std::size_t records_ = 0;
};

}  // namespace quillon
