#include "log_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quillon {

LogFile::~LogFile()
{
    Close();
}

bool LogFile::Open(const std::string& path)
{
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ >= 0)
        path_ = path;
    return fd_ >= 0;
}

bool LogFile::Write(std::string_view bytes)
{
    if (fd_ < 0)
        return false;
    // write(2) hands the bytes to the kernel: they survive a crash of the
    // program (not of the machine; that would need fsync on every frame).
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

void LogFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace quillon
