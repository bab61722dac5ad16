#include "status_file.h"

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace quillon {

namespace {

// A metric's samples: each its labels ("" or `port="1"`) and its value.
using Samples = std::vector<std::pair<std::string, std::string>>;

struct Metric {
    const char* name;
    const char* type;  // "counter" or "gauge"
    const char* help;
    std::function<Samples(const StationFigures&)> samples;
};

Samples One(std::uint64_t value) { return {{"", std::to_string(value)}}; }

// Unix seconds with the milliseconds.
Samples Seconds(std::chrono::system_clock::time_point t)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return {{"", text}};
}

// Port 0 always, the others once they have had a frame.
Samples ByPort(const Counters& counts)
{
    Samples samples;
    for (int port = 0; port < kKissPorts; ++port)
        if (const std::uint64_t n = counts.PortFrames[std::size_t(port)]; port == 0 || n > 0)
            samples.emplace_back("port=\"" + std::to_string(port) + "\"", std::to_string(n));
    return samples;
}

const std::vector<Metric>& Metrics()
{
    using F = const StationFigures&;
    static const std::vector<Metric> metrics = {
        {"quillon_frames_received_total", "counter", "Frames received from the TNC.",
         [](F f) { return One(std::uint32_t(f.counts.FrameCount)); }},
        {"quillon_bytes_received_total", "counter", "Bytes received from the TNC.",
         [](F f) { return One(f.counts.BytesReceived); }},
        {"quillon_frames_total", "counter", "Frames received, by the KISS port of their command byte.",
         [](F f) { return ByPort(f.counts); }},
        {"quillon_oversize_frames_total", "counter", "Frames longer than 1024 bytes, dropped.",
         [](F f) { return One(f.counts.OversizeFrames); }},
        {"quillon_noise_bytes_total", "counter", "Bytes received outside any frame, dropped.",
         [](F f) { return One(f.counts.NoiseBytes); }},
        {"quillon_mirror_bytes_dropped_total", "counter", "Bytes of whole frames the mirror port could not take.",
         [](F f) { return One(f.mirrorBytesDropped); }},
        {"quillon_last_frame_timestamp_seconds", "gauge",
         "Time of the last frame received (the start until the first).", [](F f) { return Seconds(f.lastFrame); }},
        {"quillon_link_up", "gauge", "Whether the link is open: input from the TNC, mirror to the second port.",
         [](F f) {
             return Samples{{"link=\"input\"", f.inputUp ? "1" : "0"}, {"link=\"mirror\"", f.mirrorUp ? "1" : "0"}};
         }},
        {"quillon_logs_failing", "gauge", "Logs that cannot be written now.",
         [](F f) { return One(std::uint64_t(f.logsFailing)); }},
        {"quillon_start_time_seconds", "gauge", "Time the run started.", [](F f) { return Seconds(f.start); }},
        {"quillon_igate_frames_total", "counter", "Frames heard, gated to APRS-IS or not.",
         [](F f) {
             return f.igate ? Samples{{"result=\"gated\"", std::to_string(f.igate->gated)},
                                      {"result=\"not_gated\"", std::to_string(f.igate->notGated)}}
                            : Samples{};
         }},
        {"quillon_kiss_clients", "gauge", "Clients connected to the KISS server.",
         [](F f) { return f.kissServer ? One(f.kissServer->clients) : Samples{}; }},
        {"quillon_kiss_client_frames_dropped_total", "counter", "Frames a slow KISS client did not get.",
         [](F f) { return f.kissServer ? One(f.kissServer->framesDropped) : Samples{}; }},
        {"quillon_kiss_client_frames_received_total", "counter", "Frames KISS clients sent (never passed to the TNC).",
         [](F f) { return f.kissServer ? One(f.kissServer->framesFromClients) : Samples{}; }},
        {"quillon_mqtt_frames_total", "counter", "Frames published to the MQTT broker, or dropped unsent.",
         [](F f) {
             return f.mqtt ? Samples{{"result=\"published\"", std::to_string(f.mqtt->published)},
                                     {"result=\"dropped\"", std::to_string(f.mqtt->dropped)}}
                           : Samples{};
         }},
        {"quillon_mqtt_connected", "gauge", "Whether the MQTT broker is connected.",
         [](F f) { return f.mqtt ? One(f.mqtt->connected ? 1 : 0) : Samples{}; }},
    };
    return metrics;
}

}  // namespace

std::string StatusFileText(const StationFigures& figures)
{
    std::string text;
    for (const Metric& m : Metrics()) {
        const Samples samples = m.samples(figures);
        if (samples.empty())
            continue;
        text.append("# HELP ").append(m.name).append(" ").append(m.help).append("\n");
        text.append("# TYPE ").append(m.name).append(" ").append(m.type).append("\n");
        for (const auto& [labels, value] : samples) {
            text.append(m.name);
            if (!labels.empty())
                text.append("{").append(labels).append("}");
            text.append(" ").append(value).append("\n");
        }
    }
    return text;
}

std::string ServiceStatusLine(const StationFigures& figures)
{
    return std::to_string(std::uint32_t(figures.counts.FrameCount)) + " frames received, " + figures.inputName +
           (figures.inputUp ? " open" : " away");
}

}  // namespace quillon
