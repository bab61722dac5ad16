// The receive pipeline: what happens to the bytes of one receive event, frame
// by frame. The window, the log readers, the fuzz target and the benchmarks
// all feed their bytes through it; each hands on the results to a sink of its
// own.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

#include "app/app.h"
#include "decoder/frame_report.h"
#include "timesvc/clock.h"
#include "tnc/tnc.h"

namespace quillon {

// Where the results go; each part does nothing unless overridden.
class ReceiveSink {
public:
    virtual ~ReceiveSink() = default;
    // The raw log: every frame as received, behind its time frame when time
    // frames are on. One call per piece.
    virtual void RawLog(std::string_view /*bytes*/) {}
    virtual void HexLog(std::string_view /*line*/) {}
    virtual void DumpLog(std::string_view /*line*/) {}
    // The report of one frame: its console runs and the caption.
    virtual void Report(const FrameReport& /*report*/) {}
    // Reading a log back: a time frame, which stamps the frame behind it.
    virtual void LogTime(std::chrono::system_clock::time_point /*t*/) {}
};

struct ReceiveOptions {
    ReportOptions report;         // also: TIMEFRAMES=YES writes time frames
    bool buildReports = true;     // off: frames only counted and logged raw
    // A raw log read back: its time frames are not frames but the times of
    // the frames behind them, and stamp their reports. A frame without one
    // is stamped with the present time.
    bool readLogTimes = false;
};

class Receiver {
public:
    // The assembler state and the counters are the caller's, which reads
    // them by name between events.
    Receiver(ReceiveState& receive, Counters& counters, const Clock& clock)
        : receive_(receive), counters_(counters), clock_(clock)
    {
    }

    void SetOptions(const ReceiveOptions& options) { options_ = options; }
    const ReceiveOptions& Options() const { return options_; }

    // Back to waiting for a frame, as at start-up; a log time read and not
    // yet used is forgotten.
    void Reset();

    // One receive event's bytes, `decode` as "Decode KISS Frame" stands.
    // Returns the number of frames that ended in the block.
    int Feed(std::string_view block, bool decode, ReceiveSink& sink);

private:
    void FrameEnd(bool decode, ReceiveSink& sink);

    ReceiveState& receive_;
    Counters& counters_;
    const Clock& clock_;
    ReceiveOptions options_;
    std::optional<std::chrono::system_clock::time_point> logTime_;
    FixedClock logClock_;
};

}  // namespace quillon
