#include "line_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace quillon {

namespace {

LineOutput* g_out = nullptr;
LineOutput* g_err = nullptr;

void WriteStraight(int fd, std::string_view line)
{
    std::string text(line);
    text += '\n';
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

bool SamePlace(int a, int b)
{
    struct stat sa {
    }, sb{};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

bool IsJournalStream(int fd)
{
    const char* named = std::getenv("JOURNAL_STREAM");
    const auto stream = ParseDeviceInode(named ? named : "");
    struct stat st {};
    return stream && ::fstat(fd, &st) == 0 && stream->device == std::uint64_t(st.st_dev) &&
           stream->inode == std::uint64_t(st.st_ino);
}

std::string DroppedLinesLine(std::uint64_t lines)
{
    return "output stalled: " + std::to_string(lines) + (lines == 1 ? " line dropped" : " lines dropped");
}

LineOutput::LineOutput(int fd, std::size_t queueLimit, QObject* parent) : QObject(parent), fd_(fd), limit_(queueLimit)
{
    // A reader that goes away ends the output, not the program.
    std::signal(SIGPIPE, SIG_IGN);
    flags_ = ::fcntl(fd_, F_GETFL);
    if (flags_ < 0) {  // no such descriptor: nowhere to write
        ended_ = true;
        endError_ = errno;
        return;
    }
    ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK);
    journal_ = IsJournalStream(fd_);
}

LineOutput::~LineOutput()
{
    if (flags_ < 0)
        return;
    // The last lines (the end of the run) get a second at most.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!ended_ && sent_ < queue_.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLOUT, 0};
        if (left.count() <= 0 || (::poll(&p, 1, int(left.count())) < 0 && errno != EINTR))
            break;
        Flush();
    }
    writable_.reset();
    ::fcntl(fd_, F_SETFL, flags_);
}

void LineOutput::Say(std::string_view line, Severity severity)
{
    if (ended_)
        return;
    if (dropping_ && sent_ == queue_.size())
        Flush();  // drained (a single line was too long): the count first
    // Once one line was dropped, every line is until the reader has taken
    // the whole queue: the gap is one, and the count stands where it is.
    const std::size_t prefix = journal_ ? JournalPrefix(severity).size() : 0;
    if (dropping_ || queue_.size() - sent_ + prefix + line.size() + 1 > limit_) {
        dropping_ = true;
        ++dropped_;
        return;
    }
    Append(line, severity);
    if (!writable_ || !writable_->isEnabled())
        Flush();
}

void LineOutput::Append(std::string_view line, Severity severity)
{
    if (sent_ > 0 && sent_ >= queue_.size() / 2) {
        queue_.erase(0, sent_);
        sent_ = 0;
    }
    if (journal_)
        queue_.append(JournalPrefix(severity));
    queue_.append(line);
    queue_ += '\n';
}

void LineOutput::Flush()
{
    while (!ended_) {
        while (sent_ < queue_.size()) {
            const ssize_t n = ::write(fd_, queue_.data() + sent_, queue_.size() - sent_);
            if (n > 0) {
                sent_ += std::size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!writable_) {
                    writable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
                    connect(writable_.get(), &QSocketNotifier::activated, this, &LineOutput::Flush);
                }
                writable_->setEnabled(true);
                return;
            }
            // The reader went away (EPIPE), or the output cannot be written
            // at all: it ends here, and nothing else does.
            ended_ = true;
            endError_ = n < 0 ? errno : EIO;
            std::string().swap(queue_);
            sent_ = 0;
            writable_.reset();
            emit OutputEnded();
            return;
        }
        queue_.clear();
        sent_ = 0;
        if (writable_)
            writable_->setEnabled(false);
        if (!dropping_)
            return;
        dropping_ = false;
        Append(DroppedLinesLine(dropped_), Severity::Warning);
        dropped_ = 0;
    }
}

StandardStreams::StandardStreams()
{
    out_ = std::make_unique<LineOutput>(STDOUT_FILENO);
    g_out = out_.get();
    if (SamePlace(STDOUT_FILENO, STDERR_FILENO)) {
        g_err = g_out;
    } else {
        err_ = std::make_unique<LineOutput>(STDERR_FILENO);
        g_err = err_.get();
        QObject::connect(out_.get(), &LineOutput::OutputEnded, err_.get(), [this] {
            err_->Say(std::string("standard output ended (") + std::strerror(out_->EndError()) +
                          "); the run goes on without it",
                      Severity::Warning);
        });
    }
}

StandardStreams::~StandardStreams()
{
    g_out = g_err = nullptr;
    out_.reset();
    err_.reset();
}

void SayOnStandardOutput(std::string_view line, Severity severity)
{
    if (g_out)
        g_out->Say(line, severity);
    else
        WriteStraight(STDOUT_FILENO, line);
}

void SayOnStandardError(std::string_view line, Severity severity)
{
    if (g_err)
        g_err->Say(line, severity);
    else
        WriteStraight(STDERR_FILENO, line);
}

}  // namespace quillon
