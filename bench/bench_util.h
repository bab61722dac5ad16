// Helpers of the benchmark programs: the sample traffic, timing, the memory
// and CPU figures of a process, and the result lines that scripts/bench
// gathers into its table.
#pragma once

#include <sys/types.h>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::bench {

// The frames of the sample traffic (build/quillon/sample.kss) as a TNC sends
// them: the log read back through the receive pipeline, its time frames
// taken as times, not frames.
std::vector<std::string> SampleFrames();

// `count` frames taken round-robin from `frames`, joined into one stream.
std::string RepeatFrames(const std::vector<std::string>& frames, std::size_t count);

// The frames the receive pipeline finds in a stream.
std::size_t CountFrames(std::string_view stream);

// The hex log lines the program writes for a stream (HEXFILE=YES).
std::size_t CountHexLines(std::string_view stream);

// The size of a file; 0 when it is missing.
std::uintmax_t FileSize(const std::string& path);

std::size_t CountLines(std::string_view text);  // "\n"s

// VmRSS of a process (0: this one), in kilobytes; -1 when unreadable.
long ResidentKilobytes(pid_t pid = 0);
// Voluntary plus involuntary context switches of a process; -1 when unreadable.
long ContextSwitches(pid_t pid);
// User plus system CPU seconds of a process (0: this one) so far.
double CpuSeconds(pid_t pid = 0);

// Runs the event loop (a program's output comes in through it) until done()
// holds; false after `seconds`.
bool WaitFor(const std::function<bool()>& done, double seconds);

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    void Restart() { start_ = std::chrono::steady_clock::now(); }
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    std::chrono::steady_clock::time_point start_;
};

// "12,345" for the figures.
std::string Grouped(double value, int decimals = 0);

// One line of the summary table, on standard output:
//   RESULT<TAB>what<TAB>figure<TAB>target<TAB>met|MISSED|-
void Result(std::string_view what, std::string_view figure, std::string_view target, const char* verdict);
inline const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// The folder holding the quillon binary and its tools.
std::string ProgramDir();

}  // namespace quillon::bench
