#include "support/running_quillon.h"

#include "support/poll_until.h"

namespace quillon::test {

namespace {

ChildOptions QuillonOptions(const ProgramFolder& folder, std::string workingDir,
                            std::vector<std::string> prefix = {},
                            std::vector<std::string> environment = {})
{
    ChildOptions o;
    o.args = std::move(prefix);
    o.args.push_back(folder.Executable());
    o.environment = std::move(environment);
    o.environment.push_back("QT_QPA_PLATFORM=offscreen");
    o.workingDir = workingDir.empty() ? folder.Path() : std::move(workingDir);
    o.outputPath = folder.OutputPath();
    return o;
}

}  // namespace

RunningQuillon::RunningQuillon(ProgramFolder& folder, std::string workingDir)
    : folder_(folder), process_(QuillonOptions(folder, std::move(workingDir)))
{
}

RunningQuillon::RunningQuillon(ProgramFolder& folder, std::string workingDir,
                               std::vector<std::string> prefix, std::vector<std::string> environment)
    : folder_(folder),
      process_(QuillonOptions(folder, std::move(workingDir), std::move(prefix), std::move(environment)))
{
}

bool RunningQuillon::WaitCom1Open(std::chrono::milliseconds limit)
{
    Pty& com1 = folder_.Com1();
    PollUntil([&] { return com1.PeerOpen() || !Running(); }, limit);
    return Running() && com1.PeerOpen();
}

bool RunningQuillon::WaitRawLog(std::chrono::milliseconds limit)
{
    PollUntil([&] { return folder_.LogName(".kss").has_value() || !Running(); }, limit);
    return Running() && folder_.LogName(".kss").has_value();
}

bool RunningQuillon::WaitStarted(std::chrono::milliseconds limit)
{
    const auto start = std::chrono::steady_clock::now();
    if (!WaitCom1Open(limit))
        return false;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return WaitRawLog(limit - spent);
}

std::string RunningQuillon::Output() const
{
    return ReadBinaryFile(folder_.OutputPath());
}

}  // namespace quillon::test
