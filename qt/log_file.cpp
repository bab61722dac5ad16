#include "log_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/cleanup.h"

namespace quillon {

namespace {

int Flock(int fd, int operation)
{
    int result;
    do
        result = ::flock(fd, operation);
    while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace

LogFile::~LogFile()
{
    Close();
}

bool LogFile::Open(const std::string& path)
{
    Close();
    path_ = path;
    // A log that cannot be opened fails every write, for the reason it could
    // not be opened.
    failure_ = ENOENT;
    // Another run may be deleting this very file, empty, at its end: it holds
    // the exclusive lock for that moment, so the shared lock waits for it, and
    // a file deleted meanwhile is created anew. Where locks are not supported
    // the log is written all the same.
    for (int attempt = 0; attempt < 3; ++attempt) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            failure_ = errno;
            return false;
        }
        struct stat st {};
        if (Flock(fd_, LOCK_SH) != 0 || ::fstat(fd_, &st) != 0 || st.st_nlink > 0) {
            failure_ = 0;
            return true;
        }
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

std::string LogFile::Name() const
{
    return path_.substr(path_.rfind('/') + 1);
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
        if (n <= 0) {
            failure_ = n < 0 ? errno : EIO;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    failure_ = 0;
    return true;
}

void LogFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);  // releases the lock
    fd_ = -1;
}

void DeleteEmptyLogs(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        if (path.empty())
            continue;
        // Not through a link put where a log was, and never waiting for a
        // device or a pipe.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // The exclusive lock is had only when no other run holds the file;
        // while it is held, a run that opens the file waits, and finds it
        // deleted afterwards. The name must still be this file.
        struct stat held {}, named {};
        if (Flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            DeleteEmptyFiles({path});
        ::close(fd);
    }
}

}  // namespace quillon
