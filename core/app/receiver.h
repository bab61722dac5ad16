// The receive pipeline: what happens to the bytes of one receive event, frame
// by frame. The window, the log readers, the fuzz target and the benchmarks
// all feed their bytes through it; each hands on the results to a sink of its
// own.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "app.h"
#include "decoder/frame_report.h"
#include "kiss/kiss.h"
#include "timesvc/clock.h"
#include "timesvc/timesvc.h"

namespace quillon {

// Where the results go; each part does nothing unless overridden.
class ReceiveSink {
public:
    virtual ~ReceiveSink() = default;
    // The raw log: every frame as received, behind its time frame when time
    // frames are on. One call per frame, the time frame and the frame in one
    // piece: written at once, the two cannot be parted by another run that
    // appends to the same log, nor by a disk that fills between them.
    virtual void RawLog(std::string_view /*record*/) {}
    virtual void HexLog(std::string_view /*line*/) {}
    virtual void DumpLog(std::string_view /*line*/) {}
    // The JSON Lines log: one line per reported frame, "\n" at its end
    // (decoder/frame_json.h).
    virtual void JsonLog(std::string_view /*line*/) {}
    // The report of one frame: its console runs and the caption.
    virtual void Report(const FrameReport& /*report*/) {}
    // The same report once every log line of the frame was handed on, for a
    // sink that keeps it to show later: the last call for a frame.
    virtual void KeepReport(FrameReport&& /*report*/) {}
    // The one reading of the clock for a frame, before anything of it goes
    // to the sink: its time frame, its report and every log line of it carry
    // this time.
    virtual void FrameTime(std::chrono::system_clock::time_point /*t*/) {}
    // Reading a log back: a time frame, which stamps the frame behind it.
    virtual void LogTime(std::chrono::system_clock::time_point /*t*/) {}
};

struct ReceiveOptions {
    ReportOptions report;  // also: TIMEFRAMES=YES writes time frames
    // "Decode KISS Frame": the AX.25 header is decoded and the payload dumped;
    // off, every frame is dumped as received.
    bool decode = true;
    bool buildReports = true;  // off: frames only counted and logged raw
    // A raw log read back: its time frames are not frames but the times of
    // the frames behind them, and stamp their reports. A frame without one
    // is stamped with the present time.
    bool readLogTimes = false;
    // JSONFILE=YES: a JSON line for every reported frame (with buildReports).
    bool json = false;
    // Off: a report holds only its time and the decoded frame, no console
    // text and no log lines (for the JSON or TNC2 lines alone).
    bool reportText = true;
};

// Counts one frame as received (both FENDs included), by its KISS port, and
// its escape sequences; the 32-bit counts go round past 2^31.
void CountFrame(Counters& counters, const ReceiveState& frame);

// Owns the assembler state, the counters and the last-frame time; the caller
// reads them through the accessors between events.
class Receiver {
public:
    explicit Receiver(const Clock& clock, ReceiveOptions options = {});

    void SetOptions(const ReceiveOptions& options) { options_ = options; }
    const ReceiveOptions& Options() const { return options_; }
    void SetDecoding(bool on) { options_.decode = on; }

    // Back to waiting for a frame; a log time read and not yet used is
    // forgotten. The counters and the last-frame time stay.
    void Reset();
    // The start of a run: Reset, and the last-frame time set to the present,
    // from which the status timer counts the first silence.
    void Restart();

    // One receive event's bytes. Returns the number of frames that ended in
    // the block.
    int Feed(std::string_view block, ReceiveSink& sink);

    const Counters& Counts() const { return counters_; }
    // "Clear Counter": the bytes and frames received back to 0 (by port too);
    // the escape counts and the losses stay.
    void ClearCounts();

    // The last frame end, or the last byte received outside a frame.
    DateTime LastFrameTime() const { return lastFrameTime_; }

    // The assembler state, with the frame that ended last; read-only.
    const ReceiveState& State() const { return receive_; }

private:
    void FrameEnd(ReceiveSink& sink);
    // The only writer of lastFrameTime_.
    void NoteLastFrameTime();

    const Clock& clock_;
    ReceiveOptions options_;
    ReceiveState receive_{};
    Counters counters_{};
    DateTime lastFrameTime_{};
    std::optional<std::chrono::system_clock::time_point> logTime_;
    FixedClock frameClock_;  // the frame's one reading, or the time a log recorded for it
    std::string rawRecord_;  // the raw log's piece for the frame, kept for its capacity
};

}  // namespace quillon
