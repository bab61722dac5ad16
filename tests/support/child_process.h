// A child process started by a test (fork and exec, no shell), with its
// standard output and error appended to a file. It dies with the test process
// if that dies first, and is killed and reaped at destruction if it still
// runs.
#pragma once

#include <chrono>
#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::test {

// How a run ended.
struct ExitStatus {
    bool exited = false;    // ended by itself; `code` is its exit status
    int code = -1;
    int signal = 0;         // ended by this signal
    bool timedOut = false;  // still running when the limit ran out
    std::string Describe() const;
};

struct ChildOptions {
    std::vector<std::string> args;         // args[0] is the executable's path
    std::vector<std::string> environment;  // NAME=VALUE, set over the test's own
    std::string workingDir;                // empty: the test's
    std::string outputPath;                // empty: /dev/null
};

class ChildProcess {
public:
    explicit ChildProcess(const ChildOptions& options);  // throws when fork fails
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();

    bool Signal(int sig);
    ExitStatus WaitExit(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Signal (SIGTERM by default), then WaitExit.
    ExitStatus Stop(int sig = SIGTERM, std::chrono::milliseconds limit = std::chrono::seconds(30));

    // User plus system CPU seconds used so far, from /proc/PID/stat;
    // negative when they cannot be read.
    double CpuSeconds() const;

private:
    bool Reap(bool wait);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace quillon::test
