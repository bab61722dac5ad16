#include "support/child_process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "support/poll_until.h"

extern char** environ;

namespace quillon::test {

namespace {

std::string NameOf(const std::string& assignment)
{
    return assignment.substr(0, assignment.find('=') + 1);
}

// The test's environment with the given assignments over it.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& x : extra)
            replaced = replaced || std::strncmp(*e, NameOf(x).c_str(), NameOf(x).size()) == 0;
        if (!replaced)
            env.emplace_back(*e);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> p;
    for (auto& t : texts)
        p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

std::string ExitStatus::Describe() const
{
    if (timedOut)
        return "still running when the limit ran out";
    if (exited)
        return "exited with status " + std::to_string(code);
    return "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
}

ChildProcess::ChildProcess(const ChildOptions& options)
{
    std::vector<std::string> args = options.args;
    std::vector<std::string> env = MergedEnvironment(options.environment);
    auto argv = Pointers(args);
    auto envp = Pointers(env);
    const char* dir = options.workingDir.empty() ? nullptr : options.workingDir.c_str();
    const char* output = options.outputPath.empty() ? "/dev/null" : options.outputPath.c_str();
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ < 0)
        throw std::system_error(errno, std::generic_category(), "fork");
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        const int out = ::open(output, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (dir && ::chdir(dir) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess()
{
    if (Running()) {
        ::kill(pid_, SIGKILL);
        Reap(true);
    }
}

bool ChildProcess::Reap(bool wait)
{
    if (reaped_)
        return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, wait ? 0 : WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        status_ = status;
    }
    return reaped_;
}

bool ChildProcess::Running()
{
    return pid_ > 0 && !Reap(false);
}

bool ChildProcess::Signal(int sig)
{
    return Running() && ::kill(pid_, sig) == 0;
}

ExitStatus ChildProcess::WaitExit(std::chrono::milliseconds limit)
{
    ExitStatus s;
    if (!PollUntil([this] { return !Running(); }, limit)) {
        s.timedOut = true;
        return s;
    }
    s.exited = WIFEXITED(status_);
    s.code = s.exited ? WEXITSTATUS(status_) : -1;
    s.signal = WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
    return s;
}

ExitStatus ChildProcess::Stop(int sig, std::chrono::milliseconds limit)
{
    Signal(sig);
    return WaitExit(limit);
}

double ChildProcess::CpuSeconds() const
{
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string line;
    if (reaped_ || !std::getline(in, line))
        return -1;
    // The command name is in parentheses and may hold blanks; after it come
    // the state (field 3) ... utime (14) and stime (15), in clock ticks.
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 > line.size())
        return -1;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace quillon::test
