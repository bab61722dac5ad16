// Files for tests: a temporary directory removed with everything in it, and
// whole-file reads and writes.
#pragma once

#include <string>
#include <string_view>

namespace quillon::test {

// A new empty directory under $TMPDIR (or /tmp), removed at destruction.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "quillon-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view name) const;

private:
    std::string path_;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadBinaryFile(const std::string& path);

// Creates or replaces the file; throws std::runtime_error on failure.
void WriteBinaryFile(const std::string& path, std::string_view bytes);

// Where a symbolic link points; empty when it is no link.
std::string ReadLinkTarget(const std::string& path);

}  // namespace quillon::test
