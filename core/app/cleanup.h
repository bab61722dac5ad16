// The end-of-run cleanup.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "timesvc/timesvc.h"

namespace quillon {

// Deletes those of the given log files that are empty, so that a run which
// received nothing, or wrote nothing into one of its logs, leaves no empty
// file behind. Only these paths are looked at: other empty files in the
// program or working directory (lock files, markers, an empty script) belong
// to someone else and stay. Empty paths are skipped; anything that is not a
// regular file of zero bytes stays; failures are passed over silently.
// Whether another process still has a log open is for the caller to settle
// first: the program asks the logs' advisory locks in the log files' seam and
// calls this for one log at a time while it holds that log exclusively.
void DeleteEmptyFiles(const std::vector<std::string>& logPaths);

// A file directly in the log folder, as the retention sees it.
struct FolderEntry {
    std::string name;
    DateTime modified;  // its last modification
};

// The retention of LOG_KEEP_DAYS: which files of `folder` belong to log sets
// older than `keepDays` days at `now`. A log set is the files of one stem:
// "ddmmyyyy_hhmm" followed by ".kss", ".dump", ".hex" or ".jsonl", each also
// in the forms logrotate gives it, ".kss.1", ".kss.2.gz"; no other name is
// ever chosen (sample.kss, a user's own 2013.kss or notes.txt stay).
//
// A set's age counts from the last moment it is known to have been written:
// the latest modification time among its files, or its name's time when that
// is later. The name alone would not do: a run that went on for weeks has a
// name as old as its start but frames of yesterday in it, and they must be
// kept as long as yesterday's set of a run started yesterday. A set is deleted
// whole, so that a .kss is never left without its .dump.
//
// The set named `inUse` (the running station's) is never chosen, whatever
// its age; nor is anything when `keepDays` is below 1. A clock behind the
// files (not synchronised yet) finds nothing old. The names come sorted.
std::vector<std::string> OldLogSetFiles(const std::vector<FolderEntry>& folder, DateTime now, int keepDays,
                                        std::string_view inUse);

}  // namespace quillon
