#include "bench_util.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/files.h"

#ifndef QUILLON_PROGRAM_DIR
#error "QUILLON_PROGRAM_DIR must name the build's program folder"
#endif

namespace quillon::bench {

namespace {

constexpr char kFend = '\xC0';

long StatusField(pid_t pid, std::string_view name)
{
    std::ifstream in(pid == 0 ? std::string("/proc/self/status")
                              : "/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, name.size(), name) == 0 && line.size() > name.size() &&
            line[name.size()] == ':')
            return std::stol(line.substr(name.size() + 1));
    return -1;
}

}  // namespace

std::string ProgramDir()
{
    return QUILLON_PROGRAM_DIR;
}

std::vector<std::string> SampleFrames()
{
    const std::string log = test::ReadBinaryFile(ProgramDir() + "/sample.kss");
    std::vector<std::string> frames;
    std::size_t open = log.find(kFend);
    while (open != std::string::npos) {
        const std::size_t close = log.find(kFend, open + 1);
        if (close == std::string::npos)
            break;
        if (close == open + 1) {  // FEND FEND: the second one opens
            open = close;
            continue;
        }
        if (log[open + 1] != '\x09')
            frames.push_back(log.substr(open, close - open + 1));
        open = log.find(kFend, close + 1);
    }
    if (frames.empty())
        throw std::runtime_error("no frames in " + ProgramDir() + "/sample.kss");
    return frames;
}

std::string RepeatFrames(const std::vector<std::string>& frames, std::size_t count)
{
    std::string out;
    std::size_t bytes = 0;
    for (const auto& f : frames)
        bytes += f.size();
    out.reserve(bytes * (count / frames.size() + 1));
    for (std::size_t i = 0; i < count; ++i)
        out += frames[i % frames.size()];
    return out;
}

std::string StripTimeFrames(std::string_view log, std::size_t& timeFrames)
{
    std::string out;
    out.reserve(log.size());
    timeFrames = 0;
    while (!log.empty()) {
        if (log.size() >= 30 && log[0] == kFend && log[1] == '\x09' && log[29] == kFend) {
            ++timeFrames;
            log.remove_prefix(30);
            continue;
        }
        // Up to and including the next frame's closing FEND.
        const std::size_t close = log.size() > 1 ? log.find(kFend, 1) : std::string_view::npos;
        const std::size_t n = close == std::string_view::npos ? log.size() : close + 1;
        out.append(log.substr(0, n));
        log.remove_prefix(n);
    }
    return out;
}

std::size_t CountFrames(std::string_view stream)
{
    std::size_t frames = 0;
    std::size_t open = stream.find(kFend);
    while (open != std::string_view::npos) {
        const std::size_t close = stream.find(kFend, open + 1);
        if (close == std::string_view::npos)
            break;
        if (close == open + 1) {
            open = close;
            continue;
        }
        ++frames;
        open = stream.find(kFend, close + 1);
    }
    return frames;
}

std::size_t CountLines(std::string_view text)
{
    return std::size_t(std::count(text.begin(), text.end(), '\n'));
}

long ResidentKilobytes(pid_t pid)
{
    return StatusField(pid, "VmRSS");
}

long ContextSwitches(pid_t pid)
{
    const long v = StatusField(pid, "voluntary_ctxt_switches");
    const long n = StatusField(pid, "nonvoluntary_ctxt_switches");
    return v < 0 || n < 0 ? -1 : v + n;
}

std::string Grouped(double value, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    const std::string_view s = buf;
    const std::size_t begin = s[0] == '-' ? 1 : 0;
    const std::size_t dot = std::min(s.find('.'), s.size());
    std::string out(s.substr(0, begin));
    for (std::size_t i = begin; i < dot; ++i) {
        out.push_back(s[i]);
        const std::size_t left = dot - i - 1;
        if (left > 0 && left % 3 == 0)
            out.push_back(',');
    }
    out.append(s.substr(dot));
    return out;
}

void Result(std::string_view what, std::string_view figure, std::string_view target,
            const char* verdict)
{
    std::printf("RESULT\t%.*s\t%.*s\t%.*s\t%s\n", int(what.size()), what.data(), int(figure.size()),
                figure.data(), int(target.size()), target.data(), verdict);
    std::fflush(stdout);
}

}  // namespace quillon::bench
