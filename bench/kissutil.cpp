#include "kissutil.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "bench_util.h"
#include "pseudo_terminal.h"

namespace quillon::bench {

using namespace std::chrono_literals;

KissutilRun RunKissutil(const std::string& stream, std::size_t frames)
{
    KissutilRun run;
    Pty tnc;
    int out[2];
    int in[2];  // kept open: kissutil reads commands from its standard input
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execlp("kissutil", "kissutil", "-p", tnc.SlavePath().c_str(), "-s", "9600", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    Stopwatch start;
    while (pid > 0 && !tnc.PeerOpen() && start.Seconds() < 10)
        ::usleep(10000);
    run.ran = pid > 0 && tnc.PeerOpen();

    // Writes and reads side by side; a frame line starts with its channel,
    // "[0] ".
    Stopwatch clock;
    double lastLine = 0;
    std::size_t written = 0;
    bool lineStart = true;
    char buffer[65536];
    while (run.ran && run.frames < frames && clock.Seconds() - lastLine < 30) {
        pollfd p[2] = {{out[0], POLLIN, 0}, {tnc.MasterFd(), short(written < stream.size() ? POLLOUT : 0), 0}};
        if (::poll(p, 2, 100) <= 0)
            continue;
        if (p[1].revents & POLLOUT) {
            const ssize_t n = ::write(tnc.MasterFd(), stream.data() + written,
                                      std::min<std::size_t>(stream.size() - written, 1 << 16));
            if (n > 0)
                written += std::size_t(n);
        }
        if (p[0].revents & (POLLIN | POLLHUP)) {
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i) {
                if (lineStart && buffer[i] == '[')
                    ++run.frames;
                lineStart = buffer[i] == '\n';
            }
            lastLine = clock.Seconds();
        }
    }
    run.seconds = lastLine;
    if (pid > 0) {
        // The CPU it used comes with the child reaped, its threads included.
        ::kill(pid, SIGKILL);
        rusage usage{};
        if (::wait4(pid, nullptr, 0, &usage) == pid && run.ran) {
            const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
            run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        }
    }
    ::close(out[0]);
    ::close(in[1]);
    return run;
}

}  // namespace quillon::bench
