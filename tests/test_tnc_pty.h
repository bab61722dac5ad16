// A pseudo-terminal pair standing in for a serial line: the program opens
// the slave like a port, the test reads and writes the master.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace quillon::test {

class PtyPair {
public:
    PtyPair()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        termios raw{};
        if (::tcgetattr(master_, &raw) != 0)
            return;
        ::cfmakeraw(&raw);
        if (::tcsetattr(master_, TCSANOW, &raw) != 0)
            return;
        if (const char* name = ::ptsname(master_))
            slavePath_ = name;
    }
    ~PtyPair()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0 && !slavePath_.empty(); }
    const std::string& SlavePath() const { return slavePath_; }

    // Everything that has reached the master so far; never waits.
    std::string ReadAvailable()
    {
        std::string got;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                return got;
            got.append(buffer, std::size_t(n));
        }
    }

private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace quillon::test
