#include "program.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

#include "poll_until.h"

#ifndef QUILLON_PROGRAM_DIR
#error "QUILLON_PROGRAM_DIR must name the build's program folder"
#endif

namespace quillon::test {

std::string ReadFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

void WriteFile(const std::string& path, std::string_view bytes)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        throw std::runtime_error("cannot write " + path);
}

double CpuShareOfEventLoop(std::chrono::milliseconds window)
{
    const auto cpuSeconds = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    QEventLoop loop;
    QTimer::singleShot(window, &loop, &QEventLoop::quit);
    loop.exec();
    const std::chrono::duration<double> passed = std::chrono::steady_clock::now() - start;
    return (cpuSeconds() - cpuBefore) / passed.count();
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != text.npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string BuiltProgram(std::string_view name)
{
    return std::string(QUILLON_PROGRAM_DIR) + "/" + std::string(name);
}

ProgramRun RunProgram(const std::string& program, const QStringList& arguments,
                      const std::string& workingDir, std::chrono::milliseconds limit)
{
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(workingDir));
    process.start(QString::fromStdString(program), arguments);
    ProgramRun run;
    if (process.waitForFinished(int(limit.count())) && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    else
        process.kill();
    process.waitForFinished();
    run.output = process.readAllStandardOutput().toStdString();
    run.errors = process.readAllStandardError().toStdString();
    return run;
}

ProgramFolder::ProgramFolder() : path_(temp_.path().toStdString())
{
    const QString binary = QString::fromStdString(File("quillon"));
    if (!QFile::copy(QString::fromStdString(BuiltProgram("quillon")), binary))
        throw std::runtime_error("cannot copy the quillon binary");
    QFile::setPermissions(binary, QFile::permissions(binary) | QFileDevice::ExeOwner);
    Replug(1), Replug(2);
}

ProgramFolder::ProgramFolder(std::string existing) : path_(std::move(existing)) { Replug(1), Replug(2); }

void ProgramFolder::Link(int n, const std::string& target)
{
    // Renamed over the old link: the program never finds COMn missing.
    const std::string link = File("COM" + std::to_string(n));
    const std::string fresh = link + ".new";
    std::filesystem::remove(fresh);
    std::filesystem::create_symlink(target, fresh);
    std::filesystem::rename(fresh, link);
}

void ProgramFolder::Unplug(int n)
{
    Link(n, File("unplugged"));
    (n == 1 ? com1_ : com2_)->Close();
}

Pty& ProgramFolder::Replug(int n)
{
    std::unique_ptr<Pty>& port = n == 1 ? com1_ : com2_;
    port = std::make_unique<Pty>();
    Link(n, port->SlavePath());
    return *port;
}

std::string ProgramFolder::LogName(std::string_view ending) const
{
    // Named after the minute of the run, ddmmyyyy_hhmm: sample.kss is no log.
    const QString pattern = QStringLiteral("[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]_[0-9][0-9][0-9][0-9]") +
                            QString::fromUtf8(ending.data(), qsizetype(ending.size()));
    const QStringList names = QDir(QString::fromStdString(path_)).entryList({pattern}, QDir::Files, QDir::Name);
    return names.isEmpty() ? std::string() : names.back().toStdString();
}

std::string ProgramFolder::ReadLog(std::string_view ending) const
{
    const std::string name = LogName(ending);
    return name.empty() ? std::string() : Read(name);
}

RunningQuillon::RunningQuillon(ProgramFolder& folder, QStringList environment, QStringList prefix,
                               std::string workingDir, QStringList arguments, const std::string& output)
    : folder_(folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString& pair : environment) {
        if (pair.contains(u'='))
            env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        else
            env.remove(pair);
    }
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    if (!output.empty())
        process_.setStandardOutputFile(QString::fromStdString(output));
    process_.setWorkingDirectory(QString::fromStdString(workingDir.empty() ? folder.Path() : workingDir));
    prefix.append(QString::fromStdString(folder.File("quillon")));
    const QString program = prefix.takeFirst();
    process_.start(program, prefix + arguments);
    process_.waitForStarted();
}

bool RunningQuillon::WaitStarted(std::chrono::milliseconds limit)
{
    const auto started = [&] { return folder_.Com1().PeerOpen() && !folder_.LogName(".kss").empty(); };
    return PollUntil([&] { return !Running() || started(); }, limit) && Running() && started();
}

void RunningQuillon::Signal(int sig) const
{
    if (Running())
        ::kill(pid_t(process_.processId()), sig);
}

int RunningQuillon::WaitExit(std::chrono::milliseconds limit)
{
    if (Running() && !process_.waitForFinished(int(limit.count())))
        return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

std::string RunningQuillon::Output()
{
    output_ += process_.readAll().toStdString();
    return output_;
}

}  // namespace quillon::test
