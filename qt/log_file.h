// A log file that is appended to and whose every write reaches the file
// before the call returns, so a crash or a power cut loses nothing that was
// already reported.
#pragma once

#include <string>
#include <string_view>

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
    const std::string& Path() const { return path_; }
    // False when the log is closed or the write failed (a full disk); the
    // caller goes on either way.
    bool Write(std::string_view bytes);
    void Close();

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace quillon
