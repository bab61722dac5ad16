#include "small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quillon {

SmallFile ReadSmallFile(const std::string& folder, const std::string& name)
{
    const std::string path = folder + "/" + name;
    SmallFile file;
    const auto refuse = [&](bool regular) {
        file.refusal = name + (regular ? ": larger than 1 MB" : ": not a regular file");
        return file;
    };
    // Looked at before it is opened: opening a device can do things (a
    // serial port raises its lines).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return file;
    if (!S_ISREG(st.st_mode) || std::size_t(st.st_size) > kSmallFileLimit)
        return refuse(S_ISREG(st.st_mode));
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::size_t(st.st_size) > kSmallFileLimit) {
        ::close(fd);
        return refuse(S_ISREG(st.st_mode));
    }
    // One byte more than the limit: a file that grew since is refused, not cut.
    std::string text(std::size_t(st.st_size) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > kSmallFileLimit)
                break;
            text.resize(std::min(text.size() * 2, kSmallFileLimit + 1));
        }
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                got = 0;  // unreadable: as if there were none
            break;
        }
        got += std::size_t(n);
    }
    ::close(fd);
    if (got > kSmallFileLimit)
        return refuse(true);
    text.resize(got);
    file.text = std::move(text);
    return file;
}

}  // namespace quillon
