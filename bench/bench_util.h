// Helpers of the benchmark programs: the sample traffic, timing, the memory
// and CPU figures of a process, and the result lines that scripts/bench
// gathers into its table.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quillon::bench {

// The frames of the sample traffic (build/quillon/sample.kss) as a TNC sends
// them: the log cut at its FENDs, its time frames left out.
std::vector<std::string> SampleFrames();

// `count` frames taken round-robin from `frames`, joined into one stream.
std::string RepeatFrames(const std::vector<std::string>& frames, std::size_t count);

// The frames of a raw log with its time frames (C0 09 ... C0, 30 bytes)
// taken out; `timeFrames` counts those.
std::string StripTimeFrames(std::string_view log, std::size_t& timeFrames);

// KISS frames (FEND to FEND, at least one byte between) in a stream.
std::size_t CountFrames(std::string_view stream);

std::size_t CountLines(std::string_view text);  // "\n"s

// VmRSS of a process (0: this one), in kilobytes; -1 when unreadable.
long ResidentKilobytes(pid_t pid = 0);
// Voluntary plus involuntary context switches of a process; -1 when unreadable.
long ContextSwitches(pid_t pid);

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    void Restart() { start_ = std::chrono::steady_clock::now(); }
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// "12,345" for the figures.
std::string Grouped(double value, int decimals = 0);

// One line of the summary table, on standard output:
//   RESULT<TAB>what<TAB>figure<TAB>target<TAB>met|MISSED|-
void Result(std::string_view what, std::string_view figure, std::string_view target,
            const char* verdict);
inline const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// The folder holding the quillon binary and its tools.
std::string ProgramDir();

}  // namespace quillon::bench
