// Running a command-line tool to its end from a test: its standard output and
// error together in one text, its exit status beside it.
#pragma once

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/child_process.h"
#include "support/files.h"

namespace quillon::test {

struct ToolRun {
    ExitStatus status;
    std::string output;  // standard output and error, interleaved
    bool Succeeded() const { return status.exited && status.code == 0; }
};

// Runs args[0] (a full path) with `environment` set over the test's own and
// waits for it to end, up to `limit`; the run is killed if it is still going.
inline ToolRun RunTool(const std::vector<std::string>& args, const std::vector<std::string>& environment = {},
                       const std::string& workingDir = {},
                       std::chrono::milliseconds limit = std::chrono::seconds(120))
{
    TempDir temp("quillon-tool");
    ChildOptions options{args, environment, workingDir, temp / "output.txt"};
    ToolRun run;
    {
        ChildProcess child(options);
        run.status = child.WaitExit(limit);
    }
    run.output = ReadBinaryFile(temp / "output.txt");
    return run;
}

// The full path of an executable found on PATH; empty when there is none.
inline std::string FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

}  // namespace quillon::test
