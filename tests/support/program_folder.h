// A throw-away program folder for running the real quillon binary: a copy of
// the binary (the program finds its folder from its own executable's real
// path, so a symbolic link to the binary would not do), quillon.ini and script
// files as the test writes them, and COM1 and COM2 linked to two
// pseudo-terminals that the folder owns. Both links always exist: without
// them COM1 would open /dev/ttyS0, the system console on these machines.
//
// Layout: <temp>/quillon/ is the program folder; <temp>/output.txt takes the
// program's standard output and error, outside the folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/files.h"
#include "support/pty.h"

namespace quillon::test {

class ProgramFolder {
public:
    // Copies the binary; throws when it cannot.
    explicit ProgramFolder(const std::string& binary = BuiltBinary());

    // The quillon binary of this build, in its program folder.
    static std::string BuiltBinary();
    static bool BinaryExists(const std::string& binary = BuiltBinary());

    const std::string& Path() const { return path_; }
    std::string Executable() const { return FilePath("quillon"); }
    std::string FilePath(std::string_view name) const;
    std::string OutputPath() const { return temp_ / "output.txt"; }

    // Creates or replaces a file in the folder (quillon.ini, tnc_init.txt...).
    void WriteFile(std::string_view name, std::string_view content) const;
    void WriteIni(std::string_view content) const { WriteFile("quillon.ini", content); }
    std::string ReadFile(std::string_view name) const;

    // The pseudo-terminals behind COM1 and COM2.
    Pty& Com1() { return com1_; }
    Pty& Com2() { return com2_; }

    // Names of the regular files in the folder that end in `suffix`, sorted.
    std::vector<std::string> FilesWithSuffix(std::string_view suffix) const;
    // The single log with that suffix (".kss", ".dump", ".hex"); none when
    // there is none. With several, the last in name order.
    std::optional<std::string> LogName(std::string_view suffix) const;
    std::uintmax_t LogSize(std::string_view suffix) const;  // 0 when none
    std::string ReadLog(std::string_view suffix) const;     // empty when none

private:
    TempDir temp_;  // first: removed last, also when a later member throws
    std::string path_;
    Pty com1_;
    Pty com2_;
};

}  // namespace quillon::test
