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

// A record lock over the whole file, owned by the open file (not the process,
// so a run's two opens of one log exclude each other as two runs do).
// `type` F_WRLCK waits for the lock; F_UNLCK lets it go.
bool RecordLock(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    int result;
    do
        result = ::fcntl(fd, F_OFD_SETLKW, &lock);
    while (result < 0 && errno == EINTR);
    return result == 0;
}

// Whether the writes to this log can wait for the record lock. Nobody takes a
// read lock on a log: one that is there is a flock that the file system keeps
// as a record lock (an NFS or SMB client does so), the caller's own among
// them, and a write lock would never be had beside it. Where record locks are
// not supported at all, the log is written without them.
bool RecordLocksUsable(int fd)
{
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_RDLCK;
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
            recordLocks_ = RecordLocksUsable(fd_);
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
    // While the lock is held no other run appends, so the record's pieces
    // follow one another at the end of the file (O_APPEND writes there).
    const bool locked = recordLocks_ && RecordLock(fd_, F_WRLCK);
    // write(2) hands the bytes to the kernel: they survive a crash of the
    // program (not of the machine; that would need fsync on every frame).
    std::size_t written = 0;
    off_t start = -1;  // where the record began, once a write fell short
    int failure = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failure = n < 0 ? errno : EIO;
            break;
        }
        // The file offset is left at the end of what the append wrote.
        if (written == 0 && std::size_t(n) < bytes.size())
            if (const off_t end = ::lseek(fd_, 0, SEEK_CUR); end >= n)
                start = end - n;
        written += std::size_t(n);
    }
    if (failure != 0 && start >= 0)
        CutBack(start, written);
    if (locked)
        RecordLock(fd_, F_UNLCK);
    failure_ = failure;
    return failure == 0;
}

void LogFile::CutBack(off_t start, std::size_t written) const
{
    // The file must still end where the fragment ends: a writer that took no
    // lock may have appended behind it, or the log been emptied by a rotation
    // that copies and truncates; either way the fragment stays.
    struct stat after {};
    if (::fstat(fd_, &after) != 0 || after.st_size != start + off_t(written))
        return;
    int result;
    do
        result = ::ftruncate(fd_, start);
    while (result < 0 && errno == EINTR);
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
