#include "small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

std::string WriteSmallFile(const std::string& path, std::string_view text)
{
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    int error = ::fchmod(fd, 0644) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : EIO;
        else
            done += std::size_t(n);
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temp.c_str());
    return error == 0 ? std::string() : std::strerror(error);
}

}  // namespace quillon
