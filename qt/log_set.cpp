#include "log_set.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quillon {

namespace {

std::string FailureLine(const std::string& name, int failure)
{
    return name + ": " + std::strerror(failure);
}

}  // namespace

LogSet::LogSet(std::string folder) : folder_(std::move(folder))
{
    Of(LogKind::Raw).ending = ".kss";
    Of(LogKind::Dump).ending = ".dump";
    Of(LogKind::Hex).ending = ".hex";
    Of(LogKind::Json).ending = ".jsonl";
}

LogSet::~LogSet()
{
    Close();
}

void LogSet::SetFailureListener(FailureListener listener)
{
    listener_ = std::move(listener);
}

void LogSet::Open(const std::string& stem, bool hex, bool json)
{
    Close();
    stem_ = stem;
    hex_ = hex;
    json_ = json;
    open_ = true;
    const std::string base = folder_.empty() || folder_.ends_with('/') ? folder_ + stem : folder_ + "/" + stem;
    for (Log& log : logs_) {
        log.inSet = &log == &Of(LogKind::Hex) ? hex : &log == &Of(LogKind::Json) ? json : true;
        if (log.inSet)
            log.file.Open(base + log.ending);
    }
}

bool LogSet::Write(LogKind kind, std::string_view bytes)
{
    Log& log = Of(kind);
    if (!open_ || !log.inSet)
        return false;
    const bool written = log.file.Write(bytes);
    if (log.file.Failure() != log.failure || (log.failure != 0 && log.file.Name() != log.name))
        Track(log);
    return written;
}

void LogSet::Track(Log& log)
{
    if (log.failure == 0)
        log.since = ++failures_;
    log.failure = log.file.Failure();
    log.name = log.file.Name();
    if (listener_)
        listener_(log.name, log.failure);
}

void LogSet::Roll(const std::string& stem)
{
    Open(stem, hex_, json_);
}

void LogSet::Reopen()
{
    if (!open_)
        return;
    for (Log& log : logs_)
        if (log.inSet)
            log.file.Open(log.file.Path());
}

void LogSet::Close()
{
    if (!open_)
        return;
    std::vector<std::string> paths;
    for (Log& log : logs_) {
        if (log.file.IsOpen())
            paths.push_back(log.file.Path());
        log.file.Close();
        log.inSet = false;
    }
    open_ = false;
    stem_.clear();
    DeleteEmptyLogs(paths);
}

std::string LogSet::Path(LogKind kind) const
{
    const Log& log = Of(kind);
    return log.file.IsOpen() ? log.file.Path() : std::string();
}

std::vector<std::string> LogSet::FailureLines() const
{
    std::vector<const Log*> failing;
    for (const Log& log : logs_)
        if (log.failure != 0)
            failing.push_back(&log);
    std::sort(failing.begin(), failing.end(), [](const Log* a, const Log* b) { return a->since < b->since; });
    std::vector<std::string> lines;
    for (const Log* log : failing)
        lines.push_back(FailureLine(log->name, log->failure));
    return lines;
}

std::string LogChangeLine(const std::string& name, int failure)
{
    return failure != 0 ? FailureLine(name, failure) : name + ": writing again";
}

}  // namespace quillon
