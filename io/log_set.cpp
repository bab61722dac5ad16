#include "log_set.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/cleanup.h"

#include "line_output.h"

namespace quillon {

namespace {

std::string FailureLine(const std::string& name, int failure)
{
    return name + ": " + (failure == kLockedByOther ? "locked by another process" : std::strerror(failure));
}

}  // namespace

LogSet::LogSet(std::string folder) : folder_(std::move(folder))
{
    Of(LogKind::Raw).ending = ".kss";
    Of(LogKind::Dump).ending = ".dump";
    Of(LogKind::Hex).ending = ".hex";
    Of(LogKind::Json).ending = ".jsonl";
}

LogSet::~LogSet() { Close(); }

void LogSet::SetFailureListener(FailureListener listener) { listener_ = std::move(listener); }

void LogSet::SetNoticeListener(NoticeListener listener) { notices_ = std::move(listener); }

bool LogSet::OpenLog(Log& log, const std::string& path, bool reopen)
{
    const bool opened = log.file.Open(path, &log == &Of(LogKind::Raw) ? LogRecords::KissFrames : LogRecords::Lines);
    if (opened && log.file.CutBytes() > 0 && notices_)
        notices_(log.file.Name() + ": " + std::to_string(log.file.CutBytes()) +
                 " bytes of a cut record taken off its end");
    if (opened && log.reopening && !reopen && notices_)
        notices_("logs reopened: " + log.file.Name());
    log.reopening = (reopen || log.reopening) && !opened;
    return opened;
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
        log.reopening = false;
        if (log.inSet)
            OpenLog(log, base + log.ending, false);
    }
}

bool LogSet::Write(LogKind kind, std::string_view bytes)
{
    Log& log = Of(kind);
    if (!open_ || !log.inSet)
        return false;
    if (!log.file.IsOpen())
        OpenLog(log, log.file.Path(), false);
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

void LogSet::Roll(const std::string& stem) { Open(stem, hex_, json_); }

std::vector<std::string> LogSet::Reopen()
{
    std::vector<std::string> opened;
    if (!open_)
        return opened;
    for (Log& log : logs_)
        if (log.inSet && OpenLog(log, log.file.Path(), true))
            opened.push_back(log.file.Name());
    return opened;
}

void LogSet::Retry()
{
    if (!open_)
        return;
    for (Log& log : logs_)
        if (log.inSet && !log.file.IsOpen())
            OpenLog(log, log.file.Path(), false);
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

std::vector<std::string> LogSet::DeleteOldSets(int keepDays, DateTime now)
{
    namespace fs = std::filesystem;
    std::vector<FolderEntry> entries;
    std::error_code error;
    const fs::path folder = folder_.empty() ? fs::path(".") : fs::path(folder_);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            entries.push_back({it->path().filename().string(), DateTime(std::chrono::seconds(st.st_mtime))});
    }
    std::vector<std::string> deleted;
    for (const std::string& name : OldLogSetFiles(entries, now, keepDays, stem_))
        if (DeleteUnheldLog((folder / name).string()))
            deleted.push_back(name);
    return deleted;
}

bool LogSet::AllOpen() const
{
    return std::all_of(logs_.begin(), logs_.end(), [](const Log& log) { return !log.inSet || log.file.IsOpen(); });
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

std::string LogChangeLine(const std::string& name, int failure, int before)
{
    if (failure != 0)
        return FailureLine(name, failure);
    return name + (before == kLockedByOther ? ": not locked by another process any more" : ": writing again");
}

}  // namespace quillon
