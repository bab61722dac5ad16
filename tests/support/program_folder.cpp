#include "support/program_folder.h"

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace quillon::test {

namespace fs = std::filesystem;

#ifndef QUILLON_PROGRAM_DIR
#error "QUILLON_PROGRAM_DIR must name the build's program folder"
#endif

ProgramFolder::ProgramFolder(const std::string& binary)
    : temp_("quillon-folder"), path_(temp_ / "quillon")
{
    fs::create_directory(path_);
    fs::copy_file(binary, Executable());
    fs::permissions(Executable(), fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
    fs::create_symlink(com1_.SlavePath(), FilePath("COM1"));
    fs::create_symlink(com2_.SlavePath(), FilePath("COM2"));
}

std::string ProgramFolder::BuiltBinary()
{
    return std::string(QUILLON_PROGRAM_DIR) + "/quillon";
}

bool ProgramFolder::BinaryExists(const std::string& binary)
{
    return ::access(binary.c_str(), X_OK) == 0;
}

std::string ProgramFolder::FilePath(std::string_view name) const
{
    return path_ + "/" + std::string(name);
}

void ProgramFolder::WriteFile(std::string_view name, std::string_view content) const
{
    WriteBinaryFile(FilePath(name), content);
}

std::string ProgramFolder::ReadFile(std::string_view name) const
{
    return ReadBinaryFile(FilePath(name));
}

std::vector<std::string> ProgramFolder::FilesWithSuffix(std::string_view suffix) const
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path_, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> ProgramFolder::LogName(std::string_view suffix) const
{
    const auto names = FilesWithSuffix(suffix);
    if (names.empty())
        return std::nullopt;
    return names.back();
}

std::uintmax_t ProgramFolder::LogSize(std::string_view suffix) const
{
    const auto name = LogName(suffix);
    std::error_code ec;
    const auto size = name ? fs::file_size(FilePath(*name), ec) : 0;
    return ec ? 0 : size;
}

std::string ProgramFolder::ReadLog(std::string_view suffix) const
{
    const auto name = LogName(suffix);
    return name ? ReadFile(*name) : std::string();
}

}  // namespace quillon::test
