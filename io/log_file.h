// A log file that is appended to and whose every write reaches the file
// before the call returns, so a crash or a power cut loses nothing that was
// already reported.
//
// Every write is all or nothing. Room on the disk is reserved ahead of the
// writes, in large steps (fallocate), so that a record that would not fit is
// never begun: it fails whole, with the reason (ENOSPC, EFBIG), and the next
// record is tried again. A write that the disk still cuts short (an I/O error,
// a file system without reservations) is cut back off the file. And a log that
// a run opens whose end is a fragment (a run killed in the middle of a write)
// is cut back to its last whole record first, so that the next record is never
// glued to one.
//
// Two runs started within the same minute share their logs. Each holds a
// shared advisory lock (flock) on every log it has open; the end-of-run
// cleanup deletes an empty log only when it can take the exclusive lock, so
// never one that another run still writes. Around each write a run also holds
// a record lock (fcntl, on its own open file) over the whole log, so that the
// runs' writes, and the cutting back of a write cut short, come one after the
// other. That lock is waited for a little only (about 100 ms): one that some
// other process keeps (a reader's lockf) never holds the run up; the log is
// then written without it, and Failure() says so until the lock is had again.
#pragma once

#include <sys/types.h>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Failure() of a log that is written, but without the record lock, which
// another process holds.
constexpr int kLockedByOther = -1;

// What a log holds, for finding its last whole record.
enum class LogRecords {
    KissFrames,  // binary: KISS frames, each from its opening to its closing FEND
    Lines,       // text lines, each ending in "\n"
};

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens for appending, creating the file when missing. A file of an
    // earlier run under the same name is continued, never emptied; a
    // fragment at its end is cut off first (see CutBytes).
    bool Open(const std::string& path, LogRecords records = LogRecords::Lines);
    // Open again with the last path: for a log that could not be opened.
    bool Retry() { return Open(path_, records_); }
    bool IsOpen() const { return fd_ >= 0; }
    // The path last given to Open, whether it opened or not.
    const std::string& Path() const { return path_; }
    // The file's name without its folder, as the user is told it.
    std::string Name() const;
    // Appends `bytes` as one record: all of them, or none when the write
    // fails (a full disk). False when the log is closed or the write failed;
    // the caller goes on either way.
    bool Write(std::string_view bytes);
    // Why the last write failed, or why the log could not be opened (an
    // errno value); kLockedByOther when it was written without the record
    // lock; 0 once a write succeeds with the lock, and for a log never opened.
    int Failure() const { return failure_ != 0 ? failure_ : lockedByOther_ ? kLockedByOther : 0; }
    // The bytes of a fragment that the last Open cut off the end of the file.
    std::size_t CutBytes() const { return cut_; }
    // Gives back the room reserved beyond the end, and closes.
    void Close();

private:
    // The record lock, waited for a little; false when the log is written
    // without it.
    bool Lock();
    void Unlock() const;
    // Room for `size` more bytes at the end, reserved; false (failure_ set)
    // when the disk or the file size limit has none.
    bool Reserve(std::size_t size);
    // Under the lock: the end of the file back to its last whole record.
    void CutFragment();
    // Takes away the `written` bytes of a failed write that began at `start`,
    // unless something else was appended behind them meanwhile.
    void CutBack(off_t start, std::size_t written) const;

    int fd_ = -1;
    // Whether writes take the record lock: not where the file system turns
    // flock into record locks itself (NFS, SMB), on which the runs' shared
    // flocks would hold the write lock off for good.
    bool recordLocks_ = false;
    bool lockedByOther_ = false;
    // Whether the file system reserves room (fallocate); without, the end
    // reserved is taken as unlimited.
    bool reserving_ = true;
    off_t end_ = 0;          // the end of the file as this run last knew it
    off_t reservedEnd_ = 0;  // room is reserved up to here
    int failure_ = 0;
    std::size_t cut_ = 0;
    LogRecords records_ = LogRecords::Lines;
    std::string path_;
};

// The end-of-run cleanup over the logs a run has closed: those that are empty
// and that no other process holds open are deleted (empty paths skipped,
// failures passed over).
void DeleteEmptyLogs(const std::vector<std::string>& paths);
// Deletes a log of an earlier run, empty or not, unless another process holds
// it open; true when it is gone.
bool DeleteUnheldLog(const std::string& path);

}  // namespace quillon
