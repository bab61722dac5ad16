// The logs of a run as one: the raw log (.kss), the dump log (.dump) and,
// when asked for, the hex log (.hex) and the JSON Lines log (.jsonl), all
// named after the same stem (the UTC date and time the run started,
// 06122026_1530) in one folder.
//
// The set also keeps track of which of its logs cannot be written: a log
// starts failing at a write that fails (or at its first write, when it could
// not be opened) and stops at the next write that succeeds. The listener
// hears of each such change once, and FailureLines says the present state.
// A log keeps its place across Roll and Reopen: a failing raw log stays
// failing until a write to the raw log succeeds again, under whatever name;
// when its successor under a new name fails as well, that is a change.
// A log written without its record lock, which another process holds, is
// failing too in this sense, "locked by another process", until it has the
// lock again.
//
// A log that cannot be opened (at Open, Roll or Reopen) is tried again at
// its next write and at every Retry, and written on once it opens.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log_file.h"
#include "timesvc/timesvc.h"

namespace quillon {

enum class LogKind { Raw, Dump, Hex, Json };

class LogSet {
public:
    // A log starts failing (failure = errno) or writes again (failure = 0);
    // called only on a change. `name` is the file's name without its folder.
    using FailureListener = std::function<void(const std::string& name, int failure)>;
    // Anything else worth a status line: a fragment cut off the end of a log
    // at its opening, a log reopened at a later try.
    using NoticeListener = std::function<void(const std::string& line)>;

    explicit LogSet(std::string folder);
    ~LogSet();  // Close()
    LogSet(const LogSet&) = delete;
    LogSet& operator=(const LogSet&) = delete;

    void SetFailureListener(FailureListener listener);
    void SetNoticeListener(NoticeListener listener);

    // Opens folder/stem.kss, .dump, (with hex) .hex and (with json) .jsonl
    // for appending, each under the shared lock of LogFile; an open set is
    // closed first (Close). A log that cannot be opened is in the set all the
    // same, and fails at its first write.
    void Open(const std::string& stem, bool hex, bool json = false);
    // Appends to one log. A log that is not in the set (the hex log with hex
    // off, any log while the set is closed) takes nothing and is no failure.
    bool Write(LogKind kind, std::string_view bytes);
    // Close(), then Open(stem) with the same choice of logs.
    void Roll(const std::string& stem);
    // Closes the logs and opens the same names again, so that a log renamed
    // away is created anew. The closed files are left as they are, empty or
    // not. Returns the names of the logs that opened; the others are tried
    // again.
    std::vector<std::string> Reopen();
    // Tries again to open the logs of the set that are not open (the
    // station's once-a-second tick).
    void Retry();
    // Closes every log, then deletes those that are empty and that no other
    // run holds (DeleteEmptyLogs).
    void Close();
    // The retention: deletes the files of the log sets in the folder whose
    // last write is more than `keepDays` days before `now` (OldLogSetFiles),
    // never this set's own, nor a file another run holds open. Returns the
    // names deleted.
    std::vector<std::string> DeleteOldSets(int keepDays, DateTime now);

    // Between Open and Close, whether or not each log could be opened.
    bool IsOpen() const { return open_; }
    // The stem of the open set; "" while closed.
    const std::string& Stem() const { return stem_; }
    // Whether every log of the set is open.
    bool AllOpen() const;
    // "" when that log is not open.
    std::string Path(LogKind kind) const;
    // The failing logs, "NAME: REASON" (06122026_1530.kss: No space left on
    // device), in the order they began failing.
    std::vector<std::string> FailureLines() const;

private:
    struct Log {
        LogFile file;
        const char* ending;
        bool inSet = false;      // opened (or tried) by the last Open
        int failure = 0;         // as last told to the listener
        std::string name;        // the file's name, as last told to the listener
        unsigned since = 0;      // when it began failing, for the order of FailureLines
        bool reopening = false;  // a Reopen that did not open yet
    };
    Log& Of(LogKind kind) { return logs_[static_cast<std::size_t>(kind)]; }
    const Log& Of(LogKind kind) const { return logs_[static_cast<std::size_t>(kind)]; }
    void Track(Log& log);
    // Opens or reopens one log, telling what a notice tells.
    bool OpenLog(Log& log, const std::string& path, bool reopen);

    std::string folder_;
    std::string stem_;
    bool open_ = false;
    bool hex_ = false;
    bool json_ = false;
    std::array<Log, 4> logs_;
    unsigned failures_ = 0;  // failures begun so far, to order them
    FailureListener listener_;
    NoticeListener notices_;
};

// The line for a change of a log's state, as standard error is told it:
// "NAME: REASON" when it starts failing, "NAME: writing again" when it ends,
// "NAME: not locked by another process any more" when it ends a failure
// `before` that was kLockedByOther.
std::string LogChangeLine(const std::string& name, int failure, int before = 0);

}  // namespace quillon
