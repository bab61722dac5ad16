#include "bench_util.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <stdexcept>

#include "frames.h"
#include "program.h"

#ifndef QUILLON_PROGRAM_DIR
#error "QUILLON_PROGRAM_DIR must name the build's program folder"
#endif

namespace quillon::bench {

namespace {

// A field of /proc/PID/status (PID 0: this process) in its unit ("VmRSS" in
// kB); -1 when there is none.
long StatusField(pid_t pid, std::string_view name)
{
    std::ifstream in(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(name) && line.size() > name.size() && line[name.size()] == ':')
            return std::stol(line.substr(name.size() + 1));
    return -1;
}

// What the receive pipeline hands on: the frames of a raw log read back, or
// the hex lines of a stream.
class Collect final : public ReceiveSink {
public:
    explicit Collect(std::vector<std::string>* frames) : frames_(frames) {}
    void RawLog(std::string_view frame) override
    {
        if (frames_)
            frames_->emplace_back(frame);
    }
    void LogTime(std::chrono::system_clock::time_point) override { ++timeFrames; }
    void HexLog(std::string_view) override { ++hexLines; }

    std::size_t timeFrames = 0;
    std::size_t hexLines = 0;

private:
    std::vector<std::string>* frames_;
};

}  // namespace

std::string ProgramDir() { return QUILLON_PROGRAM_DIR; }

std::vector<std::string> SampleFrames()
{
    const std::string path = ProgramDir() + "/sample.kss";
    std::vector<std::string> frames;
    Collect sink(&frames);
    test::FeedReceiver(test::ReadFile(path), true, sink);
    if (frames.empty())
        throw std::runtime_error("no frames in " + path);
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

std::size_t CountFrames(std::string_view stream)
{
    Collect sink(nullptr);
    return std::size_t(test::FeedReceiver(stream, true, sink)) - sink.timeFrames;
}

std::size_t CountHexLines(std::string_view stream)
{
    Collect sink(nullptr);
    test::FeedReceiver(stream, false, sink);
    return sink.hexLines;
}

std::uintmax_t FileSize(const std::string& path)
{
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

std::size_t CountLines(std::string_view text) { return std::size_t(std::count(text.begin(), text.end(), '\n')); }

long ResidentKilobytes(pid_t pid) { return StatusField(pid, "VmRSS"); }

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

void Result(std::string_view what, std::string_view figure, std::string_view target, const char* verdict)
{
    std::printf("RESULT\t%.*s\t%.*s\t%.*s\t%s\n", int(what.size()), what.data(), int(figure.size()), figure.data(),
                int(target.size()), target.data(), verdict);
    std::fflush(stdout);
}

double CpuSeconds(pid_t pid)
{
    if (pid == 0) {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }
    // Fields 14 and 15 of /proc/PID/stat, after the command name in brackets.
    const std::string stat = test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / double(::sysconf(_SC_CLK_TCK));
}

bool WaitFor(const std::function<bool()>& done, double seconds)
{
    for (Stopwatch wait; !done();) {
        if (wait.Seconds() > seconds)
            return false;
        QCoreApplication::processEvents();
        ::usleep(10000);
    }
    return true;
}

}  // namespace quillon::bench
