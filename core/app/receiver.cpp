#include "receiver.h"

#include <algorithm>
#include <array>

#include "decoder/decode.h"
#include "decoder/frame_json.h"
#include "kiss/escapes.h"
#include "kiss/frame_assembler.h"
#include "timesvc/timesvc.h"
#include "tnc/time_frame.h"

namespace quillon {

void CountFrame(Counters& counters, const ReceiveState& frame)
{
    AddWrapping(counters.FrameCount, 1);
    const EscapeCounts escapes = CountKissEscapes(frame.Bytes());
    AddWrapping(counters.TfescCount, escapes.tfesc);
    AddWrapping(counters.TfendCount, escapes.tfend);
    // The command byte may itself travel escaped (port 12 is C0).
    const auto bytes = frame.Bytes();
    std::array<std::uint8_t, 3> head{};
    if (bytes.size() > 2 && UnescapeKiss(bytes.subspan(1, std::min<std::size_t>(3, bytes.size() - 2)), head).length > 0)
        ++counters.PortFrames[head[0] >> 4];
}

Receiver::Receiver(const Clock& clock, ReceiveOptions options) : clock_(clock), options_(options) {}

void Receiver::Reset()
{
    ResetFrameAssembly(receive_);
    logTime_.reset();
}

void Receiver::Restart()
{
    Reset();
    NoteLastFrameTime();
}

void Receiver::ClearCounts()
{
    counters_.BytesReceived = 0;
    counters_.FrameCount = 0;
    counters_.PortFrames = {};
}

void Receiver::NoteLastFrameTime() { lastFrameTime_ = UtcNow(clock_); }

int Receiver::Feed(std::string_view block, ReceiveSink& sink)
{
    counters_.BytesReceived += block.size();
    int frames = 0;
    for (const char c : block) {
        const Assembled result = AssembleByte(receive_, static_cast<std::uint8_t>(c));
        if (!EndsIdle(result))
            continue;
        counters_.NoiseBytes += result == Assembled::Idle;
        counters_.OversizeFrames += result == Assembled::Dropped;
        NoteLastFrameTime();
        if (result == Assembled::Frame) {
            ++frames;
            FrameEnd(sink);
        }
    }
    return frames;
}

void Receiver::FrameEnd(ReceiveSink& sink)
{
    const std::span<const std::uint8_t> frame = receive_.Bytes();
    std::optional<std::chrono::system_clock::time_point> recorded;
    if (options_.readLogTimes) {
        if (const auto t = DecodeTimeFrame(frame)) {
            logTime_ = t;
            sink.LogTime(*t);
            return;
        }
        recorded = logTime_;
        logTime_.reset();
    }
    // One reading of the clock for everything of this frame.
    frameClock_.Set(recorded ? *recorded : clock_.Now());
    sink.FrameTime(frameClock_.Now());

    CountFrame(counters_, receive_);
    rawRecord_.clear();
    if (options_.report.timeFrames)
        rawRecord_ += EncodeTimeFrame(frameClock_.Now());
    rawRecord_.append(reinterpret_cast<const char*>(frame.data()), frame.size());
    sink.RawLog(rawRecord_);
    if (!options_.buildReports)
        return;

    FrameReport report;
    if (options_.reportText) {
        report = ReportFrame(receive_, options_.decode, options_.report, frameClock_);
    } else {
        report.time = frameClock_.Now();
        if (options_.decode)
            report.decoded.emplace(DecodeAx25Frame(receive_));
    }
    sink.Report(report);
    if (report.hexLogLine)
        sink.HexLog(*report.hexLogLine);
    if (report.dumpLogLine)
        sink.DumpLog(*report.dumpLogLine);
    if (options_.json)
        sink.JsonLog(FrameJsonLine(report, frame, options_.report.kissPorts));
    sink.KeepReport(std::move(report));
    // The report may take a while; the silence counts from its end.
    NoteLastFrameTime();
}

}  // namespace quillon
