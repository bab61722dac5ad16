#include "kissutil.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "bench_util.h"
#include "pseudo_terminal.h"

namespace quillon::bench {

using namespace std::chrono_literals;

int ListenOnLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

int AcceptWithin(int listener, double seconds)
{
    pollfd p{listener, POLLIN, 0};
    if (listener < 0 || ::poll(&p, 1, int(seconds * 1000)) != 1)
        return -1;
    return ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

KissutilRun RunKissutil(const std::string& stream, std::size_t frames, bool tcp)
{
    KissutilRun run;
    Pty tnc;
    int port = 0;
    const int listener = tcp ? ListenOnLoopback(port) : -1;
    const std::string portText = tcp ? std::to_string(port) : tnc.SlavePath();
    int out[2];
    int in[2];  // kept open: kissutil reads commands from its standard input
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        if (tcp)
            ::execlp("kissutil", "kissutil", "-h", "127.0.0.1", "-p", portText.c_str(), static_cast<char*>(nullptr));
        else
            ::execlp("kissutil", "kissutil", "-p", portText.c_str(), "-s", "9600", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    const int connection = tcp && pid > 0 ? AcceptWithin(listener, 10) : -1;
    const int target = tcp ? connection : tnc.MasterFd();
    Stopwatch start;
    while (!tcp && pid > 0 && !tnc.PeerOpen() && start.Seconds() < 10)
        ::usleep(10000);
    run.ran = pid > 0 && (tcp ? connection >= 0 : tnc.PeerOpen());

    // Writes and reads side by side; a frame line starts with its channel,
    // "[0] ".
    Stopwatch clock;
    double lastLine = 0;
    std::size_t written = 0;
    bool lineStart = true;
    char buffer[65536];
    while (run.ran && run.frames < frames && clock.Seconds() - lastLine < 30) {
        pollfd p[2] = {{out[0], POLLIN, 0}, {target, short(written < stream.size() ? POLLOUT : 0), 0}};
        if (::poll(p, 2, 100) <= 0)
            continue;
        if (p[1].revents & POLLOUT) {
            const ssize_t n =
                ::write(target, stream.data() + written, std::min<std::size_t>(stream.size() - written, 1 << 16));
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
    for (const int fd : {connection, listener})
        if (fd >= 0)
            ::close(fd);
    return run;
}

}  // namespace quillon::bench
