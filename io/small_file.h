// The program's own small text files (quillon.ini, tnc_init.txt,
// tnc_exit.txt), read so that no file in their place can hold or swamp the
// run: only a regular file of at most kSmallFileLimit bytes is read. A FIFO
// would hold the open and the read until someone writes, a device such as
// /dev/zero never ends; neither is opened for reading at all, and a file
// swapped in between is opened without waiting and looked at again.
#pragma once

#include <cstddef>
#include <string>

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

}  // namespace quillon
