// Frames as a TNC sends them, made by the tools' AX.25 encoder and the core's
// KISS encoder, and bytes through a receive pipeline of the test's own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/receiver.h"
#include "ax25_encoder.h"
#include "timesvc/clock.h"

namespace quillon::test {

inline std::string Text(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
inline std::string Joined(const std::vector<std::string>& v) { return std::accumulate(v.begin(), v.end(), std::string()); }
// The frame as a TNC sends it: KISS around the AX.25 frame.
inline std::string Kiss(const Ax25Frame& f, std::uint8_t command = 0) { return Text(EncodeKissFrame(command, EncodeAx25(f))); }

// The frame in the receive buffer, positions 1 to n.
inline ReceiveState Received(std::string_view frame)
{
    ReceiveState rx;
    std::copy(frame.begin(), frame.end(), rx.RawFrame.begin() + 1);
    rx.RawFrameLength = static_cast<std::int16_t>(frame.size());
    return rx;
}

// `count` different frames: 0 to 3 digipeaters, payloads of up to 250 bytes with every byte
// value among them, now and then a SMACK frame; frame i's payload begins with "#i ".
inline std::vector<std::string> ManyFrames(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    const std::vector<Ax25Address> digis = {{"WIDE1", 1}, {"WIDE2", 2}, {"RELAY"}, {"DB0ABC", 10}};
    std::vector<std::string> frames;
    for (std::size_t i = 0; i < count; ++i) {
        Ax25Frame f{{"APRS"}, {"N0CALL", int(i % 16)}, {digis.begin(), digis.begin() + random() % 4}, 0x03, 0xF0,
                    "#" + std::to_string(i) + " "};
        for (std::size_t n = random() % 8 == 0 ? random() % 240 : random() % 40; n > 0; --n)
            f.info.push_back(random() % 4 == 0 ? char(random()) : char('a' + random() % 26));
        frames.push_back(Kiss(f, random() % 50 == 0 ? 0x80 : 0x00));
    }
    return frames;
}

// `bytes` through a receive pipeline, as a raw log read back or as received (HEXFILE=YES, decoding on).
inline int FeedReceiver(std::string_view bytes, bool readLog, ReceiveSink& sink)
{
    FixedClock clock{};
    Receiver receiver(clock, {.report = {.hexFile = true}, .buildReports = !readLog, .readLogTimes = readLog});
    return receiver.Feed(bytes, sink);
}

// The console runs of the report of each frame in `bytes`, as received or (`readLog`) a raw log read back.
inline std::vector<std::vector<ConsoleRun>> ReportRuns(std::string_view bytes, ReportOptions report = {.hexFile = true},
                                                      bool readLog = false)
{
    struct Collect final : ReceiveSink {
        std::vector<std::vector<ConsoleRun>> reports;
        void Report(const FrameReport& r) override { reports.push_back(r.console); }
    } sink;
    FixedClock clock{};
    Receiver receiver(clock, {.report = report, .buildReports = true, .readLogTimes = readLog});
    receiver.Feed(bytes, sink);
    return std::move(sink.reports);
}

}  // namespace quillon::test
