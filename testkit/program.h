// The real quillon binary in a throw-away program folder: a copy of the
// binary (it finds its folder from its own executable's real path, so a link
// would not do), the files a test writes, and COM1 and COM2 linked to two
// pseudo-terminals that the folder owns. Both links always exist: without
// them COM1 would open /dev/ttyS0, the system console on these machines.
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

// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);

// A field of /proc/PID/status (of this process for PID 0) in its unit, for
// instance "VmRSS" in kB; -1 when there is none.
long ProcStatusField(long pid, std::string_view name);

// The share of one core that this process takes while its event loop runs
// alone for `window`: user and system time over the time passed.
double CpuShareOfEventLoop(std::chrono::milliseconds window);

// How often `part` stands in `text`, overlaps counted.
std::size_t Count(const std::string& text, const std::string& part);

// A program of this build's program folder, by name.
std::string BuiltProgram(std::string_view name);

// A program run to its end: its exit code (-1 when it did not end by itself
// within the limit) and what it wrote to standard output and error.
struct ProgramRun {
    int status = -1;
    std::string output;
    std::string errors;
};
ProgramRun RunProgram(const std::string& program, const QStringList& arguments,
                      const std::string& workingDir = {}, std::chrono::milliseconds limit = 300s);

class ProgramFolder {
public:
    ProgramFolder();
    // A folder that has its own quillon already (an unpacked package): only
    // the COM1 and COM2 links are added.
    explicit ProgramFolder(std::string existing);

    std::string Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
    void Write(std::string_view name, std::string_view content) const { WriteFile(File(name), content); }
    std::string Read(std::string_view name) const { return ReadFile(File(name)); }
    // The one log with that ending (".kss", ".dump", ".hex"), empty when
    // there is none; the name of it, or "".
    std::string LogName(std::string_view ending) const;
    std::string ReadLog(std::string_view ending) const;

    Pty& Com1() { return *com1_; }
    Pty& Com2() { return *com2_; }
    // A device that goes away: COMn (1 or 2) is linked to a name that never
    // exists, then its pseudo-terminal is closed. A link left on the closed
    // one would lead to whatever pseudo-terminal gets its number next.
    void Unplug(int n);
    // A device that comes back: a new pseudo-terminal behind COMn, its link
    // re-pointed in one step.
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
    // `environment`: NAME=VALUE to set, NAME alone to unset; `prefix`: a
    // command the program runs under (setpriv ... --); `arguments`: the
    // program's own; `output`: a file (a FIFO that the test reads, or not)
    // for its standard output and error instead of the pipe that Output
    // reads.
    explicit RunningQuillon(ProgramFolder& folder, QStringList environment = {},
                            QStringList prefix = {}, std::string workingDir = {}, QStringList arguments = {},
                            const std::string& output = {});

    // Start-up done: COM1 is open and the raw log exists; false when the
    // program ended first or the limit ran out.
    bool WaitStarted(std::chrono::milliseconds limit = 60s);
    bool Running() const { return process_.state() != QProcess::NotRunning; }
    qint64 Pid() const { return process_.processId(); }
    void Signal(int sig) const;
    // Until the program ends; its exit code, or -1 when it did not end by
    // itself (a signal, or still running at the limit).
    int WaitExit(std::chrono::milliseconds limit = 30s);
    int Stop(int sig = SIGTERM) { Signal(sig); return WaitExit(); }
    // What it wrote to standard output and error so far.
    std::string Output();
    // User plus system CPU seconds so far.
    double CpuSeconds() const;

private:
    ProgramFolder& folder_;
    QProcess process_;
    std::string output_;
};

}  // namespace quillon::test
