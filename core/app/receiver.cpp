#include "app/receiver.h"

#include "tnc/frame_assembler.h"
#include "tnc/kiss_escapes.h"
#include "tnc/time_frame.h"
#include "timesvc/timesvc.h"

namespace quillon {

void Receiver::Reset()
{
    ResetFrameAssembly(receive_);
    logTime_.reset();
}

int Receiver::Feed(std::string_view block, bool decode, ReceiveSink& sink)
{
    counters_.BytesReceived += block.size();
    int frames = 0;
    for (const char c : block) {
        const Assembled result = AssembleByte(receive_, static_cast<std::uint8_t>(c));
        if (!EndsIdle(result))
            continue;
        receive_.LastFrameTime = UtcNow(clock_);
        if (result == Assembled::Frame) {
            ++frames;
            FrameEnd(decode, sink);
        }
    }
    return frames;
}

void Receiver::FrameEnd(bool decode, ReceiveSink& sink)
{
    const std::span<const std::uint8_t> frame = receive_.Bytes();
    const Clock* clock = &clock_;
    if (options_.readLogTimes) {
        if (const auto t = DecodeTimeFrame(frame)) {
            logTime_ = t;
            sink.LogTime(*t);
            return;
        }
        if (logTime_) {
            logClock_.Set(*logTime_);
            clock = &logClock_;
            logTime_.reset();
        }
    }

    AddWrapping(counters_.FrameCount, 1);
    const EscapeCounts escapes = CountKissEscapes(receive_);
    AddWrapping(counters_.TfescCount, escapes.tfesc);
    AddWrapping(counters_.TfendCount, escapes.tfend);
    if (options_.report.timeFrames)
        sink.RawLog(EncodeTimeFrame(clock->Now()));
    sink.RawLog(std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()));
    if (!options_.buildReports)
        return;

    const FrameReport report = ReportFrame(receive_, decode, options_.report, *clock);
    sink.Report(report);
    if (report.hexLogLine)
        sink.HexLog(*report.hexLogLine);
    if (report.dumpLogLine)
        sink.DumpLog(*report.dumpLogLine);
    receive_.LastFrameTime = UtcNow(clock_);
}

}  // namespace quillon
