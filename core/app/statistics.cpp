#include "statistics.h"

#include <string>

namespace quillon {

std::vector<ConsoleRun> StatisticsRuns(const Counters& counters, const std::vector<std::string>& more)
{
    const auto line = [](auto count, const char* words) {
        return ConsoleRun{std::to_string(count) + words, colour::Black};
    };
    const ConsoleRun lf{"\n", colour::Black};
    std::vector<ConsoleRun> runs{
        {"Statistics", colour::Blue},
        {"\n\n", colour::Black},
        line(counters.BytesReceived, " Bytes received"),
        lf,
        line(counters.FrameCount, " Frames decoded"),
        lf,
        line(counters.TfescCount, " TFESC received"),
        lf,
        line(counters.TfendCount, " TFEND received"),
        lf,
        line(counters.OversizeFrames, " Oversize frames dropped"),
        lf,
        line(counters.NoiseBytes, " Noise bytes dropped"),
        lf,
    };
    for (const std::string& text : more) {
        runs.push_back({text, colour::Black});
        runs.push_back(lf);
    }
    return runs;
}

}  // namespace quillon
