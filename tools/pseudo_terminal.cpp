#include "pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

namespace quillon {

namespace {

[[noreturn]] void Throw(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

int MillisLeft(std::chrono::steady_clock::time_point end)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 100));
}

}  // namespace

Pty::Pty()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        Throw("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        Close();
        Throw("grantpt/unlockpt");
    }
    slavePath_ = ::ptsname(master_);
    termios raw{};
    ::tcgetattr(master_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Arms the hang-up indication (see the header).
    const int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        Close();
        Throw("open slave");
    }
    ::close(slave);
}

Pty::~Pty() { Close(); }

void Pty::Close()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool Pty::PeerOpen() const
{
    if (master_ < 0)
        return false;
    pollfd p{master_, 0, 0};
    ::poll(&p, 1, 0);
    return (p.revents & POLLHUP) == 0;
}

bool Pty::WaitReadable(std::chrono::milliseconds limit) const
{
    // A hang-up is no data: it is waited out a little at a time.
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (master_ >= 0 && ::poll(&p, 1, MillisLeft(end)) > 0 && (p.revents & POLLIN) != 0)
            return true;
        if (master_ < 0 || std::chrono::steady_clock::now() >= end)
            return false;
        if (p.revents != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool Pty::WriteAll(std::string_view bytes, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!bytes.empty() && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, MillisLeft(end));
    }
    return bytes.empty();
}

std::string Pty::ReadAvailable()
{
    std::string out;
    char buf[4096];
    while (master_ >= 0) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;  // EAGAIN: nothing more now; EIO: nobody holds the slave
    }
    return out;
}

std::string Pty::ReadUntil(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string got = ReadAvailable();
    while (!done(got) && std::chrono::steady_clock::now() < end && master_ >= 0) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, MillisLeft(end)) > 0 && (p.revents & POLLIN) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // hung up: back off
        got += ReadAvailable();
    }
    return got;
}

}  // namespace quillon
