#include "log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>
#include <string_view>

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
// `type` F_WRLCK tries for the lock without waiting; F_UNLCK lets it go.
int RecordLock(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    int result;
    do
        result = ::fcntl(fd, F_OFD_SETLK, &lock);
    while (result < 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

// Room is reserved in steps of this much, so that few writes need a step.
constexpr off_t kReserveStep = 1 << 20;
// The tail of a log that is looked at for its last whole record: longer than
// any record (a line of the dump log of the longest frame).
constexpr std::size_t kTailLooked = 64 * 1024;
constexpr char kFend = '\xC0';

// Where the whole records of `tail`, the last bytes of a log, end; npos when
// none ends in it.
std::size_t WholeEnd(std::string_view tail, LogRecords records)
{
    if (records == LogRecords::Lines) {
        const std::size_t end = tail.rfind('\n');
        return end == std::string_view::npos ? end : end + 1;
    }
    // Frames hold no FEND between theirs and never an empty one: a log ends
    // whole at a FEND behind something else. Otherwise its last FEND opens the
    // fragment (two FENDs at the end: a closing and an opening one).
    if (tail.size() >= 2 && tail.back() == kFend && tail[tail.size() - 2] != kFend)
        return tail.size();
    return tail.rfind(kFend);
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

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path, LogRecords records)
{
    Close();
    path_ = path;
    records_ = records;
    cut_ = 0;
    // A log that cannot be opened fails every write, for the reason it could
    // not be opened.
    failure_ = ENOENT;
    // Another run may be deleting this very file, empty, at its end: it holds
    // the exclusive lock for that moment, so the shared lock waits for it, and
    // a file deleted meanwhile is created anew. Where locks are not supported
    // the log is written all the same.
    for (int attempt = 0; attempt < 3; ++attempt) {
        // Read too, for the end of a log that was cut off.
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno == EACCES)
            fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            failure_ = errno;
            return false;
        }
        struct stat st {};
        if (Flock(fd_, LOCK_SH) != 0 || ::fstat(fd_, &st) != 0 || st.st_nlink > 0) {
            failure_ = 0;
            lockedByOther_ = false;
            reserving_ = true;
            end_ = reservedEnd_ = st.st_size;
            recordLocks_ = RecordLocksUsable(fd_);
            if (Lock()) {
                CutFragment();
                Unlock();
            }
            return true;
        }
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

std::string LogFile::Name() const { return path_.substr(path_.rfind('/') + 1); }

bool LogFile::Lock()
{
    if (!recordLocks_)
        return false;
    // A few tries within about 100 ms; a signal that comes meanwhile cuts a
    // pause short and is taken up when the event loop runs again. A lock
    // that another process kept last time is tried once only, until had.
    constexpr long kPausesMs[] = {5, 15, 30, 50};
    for (std::size_t attempt = 0;; ++attempt) {
        const int result = RecordLock(fd_, F_WRLCK);
        if (result == 0) {
            lockedByOther_ = false;
            return true;
        }
        if (result != EAGAIN && result != EACCES)
            return false;  // record locks not to be had here
        if (lockedByOther_ || attempt == std::size(kPausesMs)) {
            lockedByOther_ = true;
            return false;
        }
        const timespec pause{0, kPausesMs[attempt] * 1000000};
        ::nanosleep(&pause, nullptr);
    }
}

void LogFile::Unlock() const { RecordLock(fd_, F_UNLCK); }

bool LogFile::Reserve(std::size_t size)
{
    if (end_ + off_t(size) <= reservedEnd_)
        return true;
    // Another run may have appended meanwhile: the room goes behind its
    // records too.
    struct stat st {};
    if (::fstat(fd_, &st) == 0)
        end_ = std::max(end_, off_t(st.st_size));
    if (end_ + off_t(size) <= reservedEnd_)
        return true;
    off_t want = end_ + off_t(size) + kReserveStep;
    // Not beyond the file size limit, and a record that would cross it is
    // not begun.
    if (rlimit limit{}; ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        if (end_ + off_t(size) > off_t(limit.rlim_cur)) {
            failure_ = EFBIG;
            return false;
        }
        want = std::min(want, off_t(limit.rlim_cur));
    }
    if (!reserving_) {
        reservedEnd_ = std::numeric_limits<off_t>::max();
        return true;
    }
    // The full step when there is room for it, else only what the record needs.
    for (const off_t until : {want, end_ + off_t(size)}) {
        int result;
        do
            result = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, end_, until - end_);
        while (result < 0 && errno == EINTR);
        if (result == 0) {
            reservedEnd_ = until;
            return true;
        }
        if (errno != ENOSPC && errno != EFBIG && errno != EDQUOT) {
            // Not supported here: written unreserved, and cut back if need be.
            reserving_ = false;
            reservedEnd_ = std::numeric_limits<off_t>::max();
            return true;
        }
        failure_ = errno;
    }
    return false;
}

bool LogFile::Write(std::string_view bytes)
{
    if (fd_ < 0)
        return false;
    // While the lock is held no other run appends, so the record's pieces
    // follow one another at the end of the file (O_APPEND writes there).
    const bool locked = Lock();
    if (!Reserve(bytes.size())) {
        if (locked)
            Unlock();
        return false;
    }
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
        Unlock();
    end_ = failure == 0 ? end_ + off_t(bytes.size()) : 0;  // unknown after a failure: found again
    if (failure != 0)
        reservedEnd_ = 0;
    failure_ = failure;
    return failure == 0;
}

void LogFile::CutFragment()
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size == 0)
        return;
    const std::size_t size = std::size_t(st.st_size), looked = std::min(size, kTailLooked);
    std::string tail(looked, '\0');
    if (::pread(fd_, tail.data(), looked, off_t(size - looked)) != off_t(looked))
        return;  // not readable: left as it is
    if (!tail.empty() && (records_ == LogRecords::Lines ? tail.back() == '\n' : WholeEnd(tail, records_) == looked))
        return;
    std::size_t whole = WholeEnd(tail, records_);
    if (whole == std::string_view::npos) {
        // No record ends in a whole file this short: it is all a fragment.
        // In a longer one this is no log of ours: left as it is.
        if (looked < size)
            return;
        whole = 0;
    }
    const off_t keep = off_t(size - looked + whole);
    int result;
    do
        result = ::ftruncate(fd_, keep);
    while (result < 0 && errno == EINTR);
    if (result == 0) {
        cut_ = size - std::size_t(keep);
        end_ = reservedEnd_ = keep;
    }
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
    if (fd_ < 0)
        return;
    // The room reserved beyond the end is given back, from the end as it is
    // under the lock (another run may have appended behind this run's end).
    if (reserving_ && reservedEnd_ > end_ && Lock()) {
        struct stat st {};
        // Cut to the size it has, a file keeps no room behind its end.
        if (::fstat(fd_, &st) == 0 && reservedEnd_ > st.st_size) [[maybe_unused]]
            const int result = ::ftruncate(fd_, st.st_size);
        Unlock();
    }
    ::close(fd_);  // releases the lock
    fd_ = -1;
    lockedByOther_ = false;
}

namespace {

// Deletes the regular file at `path` (only when it is empty, with
// `onlyEmpty`) while no other process holds it open. Not through a link put where a log was, and
// never waiting for a device or a pipe.
bool DeleteUnheld(const std::string& path, bool onlyEmpty)
{
    if (path.empty())
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The exclusive lock is had only when no other run holds the file; while
    // it is held, a run that opens the file waits, and finds it deleted
    // afterwards. The name must still be this file.
    struct stat held {
    }, named{};
    bool deleted = false;
    if (Flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        if (onlyEmpty)
            DeleteEmptyFiles({path});
        else
            deleted = S_ISREG(held.st_mode) && ::unlink(path.c_str()) == 0;
    }
    ::close(fd);
    return deleted;
}

}  // namespace

void DeleteEmptyLogs(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        DeleteUnheld(path, true);
}

bool DeleteUnheldLog(const std::string& path) { return DeleteUnheld(path, false); }

}  // namespace quillon
