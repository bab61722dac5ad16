#include "cleanup.h"

#include <filesystem>
#include <system_error>

namespace quillon {

void DeleteEmptyFiles(const std::vector<std::string>& logPaths)
{
    namespace fs = std::filesystem;
    for (const std::string& path : logPaths) {
        if (path.empty())
            continue;
        std::error_code error;
        // A symbolic link put where a log was is not followed.
        if (!fs::is_regular_file(fs::symlink_status(path, error)))
            continue;
        if (fs::file_size(path, error) == 0 && !error)
            fs::remove(path, error);
    }
}

}  // namespace quillon
