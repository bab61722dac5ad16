// A log file that is appended to and whose every write reaches the file
// before the call returns, so a crash or a power cut loses nothing that was
// already reported.
//
// Every write is all or nothing: a write that the disk cuts short (full, over
// a size limit, an I/O error) is cut back off the file, so that a reader never
// meets a fragment of a record and the next record is not glued to one.
//
// Two runs started within the same minute share their logs. Each holds a
// shared advisory lock (flock) on every log it has open; the end-of-run
// cleanup deletes an empty log only when it can take the exclusive lock, so
// never one that another run still writes. Around each write a run also holds
// a record lock (fcntl, on its own open file) over the whole log, so that the
// runs' writes, and the cutting back of a write cut short, come one after the
// other.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quillon {

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens for appending, creating the file when missing. A file of an
    // earlier run under the same name is continued, never emptied.
    bool Open(const std::string& path);
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
    // errno value); 0 once a write succeeds, and for a log never opened.
    int Failure() const { return failure_; }
    void Close();

private:
    // Takes away the `written` bytes of a failed write that began at `start`,
    // unless something else was appended behind them meanwhile.
    void CutBack(off_t start, std::size_t written) const;

    int fd_ = -1;
    // Whether writes take the record lock: not where the file system turns
    // flock into record locks itself (NFS, SMB), on which the runs' shared
    // flocks would hold the write lock off for good.
    bool recordLocks_ = false;
    int failure_ = 0;
    std::string path_;
};

// The end-of-run cleanup over the logs a run has closed: those that are empty
// and that no other process holds open are deleted (empty paths skipped,
// failures passed over).
void DeleteEmptyLogs(const std::vector<std::string>& paths);

}  // namespace quillon
