// The program's own small text files (quillon.ini, tnc_init.txt,
// tnc_exit.txt), read so that no file in their place can hold or swamp the
// run: only a regular file of at most kSmallFileLimit bytes is read. A FIFO
// would hold the open and the read until someone writes, a device such as
// /dev/zero never ends; neither is opened for reading at all, and a file
// swapped in between is opened without waiting and looked at again.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::size_t kSmallFileLimit = std::size_t(1) << 20;

struct SmallFile {
    std::string text;  // the whole file; empty when it was not read
    // Why a file that is there was not read, to be said: "tnc_init.txt: not
    // a regular file", "tnc_init.txt: larger than 1 MB". Empty when it was
    // read, or when there is none (or it cannot be opened), which is no news.
    std::string refusal;
};

// The file `name` in `folder`.
SmallFile ReadSmallFile(const std::string& folder, const std::string& name);

// Replaces the file at `path` with `text` in one step: written to a fresh
// file beside it (".NAME.XXXXXX", which no reader of NAME's pattern takes
// for it) and renamed over it, so that a reader sees the old file or the new
// one, never a part. Readable by all (0644), as a status file for another
// user's collector must be. The system's reason when it could not be done
// (the old file then stays), else empty. Nothing waits for the disk.
std::string WriteSmallFile(const std::string& path, std::string_view text);

}  // namespace quillon
