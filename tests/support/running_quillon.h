// The real quillon binary running in a ProgramFolder, offscreen
// (QT_QPA_PLATFORM=offscreen), with its standard output and error going to
// the folder's output file.
#pragma once

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/program_folder.h"

namespace quillon::test {

class RunningQuillon {
public:
    // Starts the program; the working directory defaults to the folder.
    explicit RunningQuillon(ProgramFolder& folder, std::string workingDir = {});
    // prefix: a command the program runs under (e.g. setpriv ... --);
    // environment: NAME=VALUE pairs set for the program.
    RunningQuillon(ProgramFolder& folder, std::string workingDir, std::vector<std::string> prefix,
                   std::vector<std::string> environment);

    pid_t Pid() const { return process_.Pid(); }
    bool Running() { return process_.Running(); }

    // Until the program holds COM1 open; false when it ended or the limit ran
    // out first.
    bool WaitCom1Open(std::chrono::milliseconds limit = std::chrono::seconds(60));
    // Until the raw log exists (start-up opens the logs after the ports).
    bool WaitRawLog(std::chrono::milliseconds limit = std::chrono::seconds(60));
    // Both: the program has passed its start-up and takes what arrives on
    // COM1 from now on.
    bool WaitStarted(std::chrono::milliseconds limit = std::chrono::seconds(60));

    bool Signal(int sig) { return process_.Signal(sig); }
    ExitStatus WaitExit(std::chrono::milliseconds limit = std::chrono::seconds(30))
    {
        return process_.WaitExit(limit);
    }
    ExitStatus Stop(int sig = SIGTERM, std::chrono::milliseconds limit = std::chrono::seconds(30))
    {
        return process_.Stop(sig, limit);
    }
    double CpuSeconds() const { return process_.CpuSeconds(); }

    // What the program wrote to its standard output and error so far.
    std::string Output() const;

private:
    ProgramFolder& folder_;
    ChildProcess process_;
};

}  // namespace quillon::test
