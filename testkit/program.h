// The real quillon binary copied (a link would not do) into a throw-away program folder whose COM1
// and COM2 always lead to its own pseudo-terminals (without them COM1 would open /dev/ttyS0).
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <string_view>

#include "pseudo_terminal.h"

namespace quillon::test {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& path);  // empty when it cannot be read
void WriteFile(const std::string& path, std::string_view bytes);

// The share of one core this process takes while its event loop runs alone for `window`.
double CpuShareOfEventLoop(std::chrono::milliseconds window);

// How often `part` stands in `text`, overlaps counted.
std::size_t Count(const std::string& text, const std::string& part);

std::string BuiltProgram(std::string_view name);  // in this build's program folder

// A program run to its end: its exit code (-1 when it did not end by itself within the limit), its output.
struct ProgramRun {
    int status = -1;
    std::string output, errors;
};
ProgramRun RunProgram(const std::string& program, const QStringList& arguments,
                      const std::string& workingDir = {}, std::chrono::milliseconds limit = 300s);

class ProgramFolder {
public:
    ProgramFolder();
    // A folder with its own quillon (an unpacked package): only the links are added.
    explicit ProgramFolder(std::string existing);

    std::string Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
    void Write(std::string_view name, std::string_view content) const { WriteFile(File(name), content); }
    std::string Read(std::string_view name) const { return ReadFile(File(name)); }
    // The name of the one log with that ending (".kss", ".dump"), or "".
    std::string LogName(std::string_view ending) const;
    std::string ReadLog(std::string_view ending) const;

    Pty& Com1() { return *com1_; }
    Pty& Com2() { return *com2_; }
    // A device that goes away: COMn linked to a name that never exists, then its pseudo-terminal closed.
    void Unplug(int n);
    // A device that comes back: a new pseudo-terminal behind COMn, re-linked in one step.
    Pty& Replug(int n);

private:
    void Link(int n, const std::string& target);

    QTemporaryDir temp_;
    std::string path_;
    std::unique_ptr<Pty> com1_, com2_;
};

// quillon running offscreen in a folder, its standard output and error merged.
class RunningQuillon {
public:
    // `environment`: NAME=VALUE to set, NAME to unset; `prefix`: a command to run it under;
    // `output`: a file for its standard output and error instead of the pipe that Output reads.
    explicit RunningQuillon(ProgramFolder& folder, QStringList environment = {},
                            QStringList prefix = {}, std::string workingDir = {}, QStringList arguments = {},
                            const std::string& output = {});

    // Until COM1 is open and the raw log exists; false when it ended first or the limit ran out.
    bool WaitStarted(std::chrono::milliseconds limit = 60s);
    bool Running() const { return process_.state() != QProcess::NotRunning; }
    qint64 Pid() const { return process_.processId(); }
    void Signal(int sig) const;
    // Until it ends: its exit code, or -1 when it did not end by itself (a signal, the limit).
    int WaitExit(std::chrono::milliseconds limit = 30s);
    int Stop(int sig = SIGTERM) { Signal(sig); return WaitExit(); }
    std::string Output();  // standard output and error so far

private:
    ProgramFolder& folder_;
    QProcess process_;
    std::string output_;
};

}  // namespace quillon::test
