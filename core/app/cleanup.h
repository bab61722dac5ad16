// The end-of-run cleanup.
#pragma once

#include <string>
#include <vector>

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

}  // namespace quillon
