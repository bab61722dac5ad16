// Lines to standard output and standard error that never hold the event
// loop, whoever reads them (a journal, a pipe, a terminal).
//
// The descriptor is made non-blocking. A line the reader does not take at
// once waits in a queue and goes out as the reader takes more (a socket
// notifier on the event loop tells when). A reader that stalls (a pipe
// nobody reads, a terminal stopped with Ctrl+S) costs at most kQueueLimit
// bytes: from the first line that would not fit, lines are dropped whole
// and counted until the queue has drained, and then the count is said where
// they are missing:
//
//   output stalled: 1234 lines dropped
//
// A reader that goes away (`quillon --headless | head -1`, a journal that
// is gone) ends this output and nothing else: the run goes on logging, as a
// service's should, and standard error says so once when it is another
// place. So does any other failure to write (a full disk under a
// redirection): the output ends, the run does not. SIGPIPE is ignored.
//
// When the descriptor is the journal's stream (JOURNAL_STREAM names its
// device and inode, as systemd sets it for a service), every line starts
// with its level, "<4>COM 1 lost: ...", which the journal takes as the
// line's priority; on a terminal, a pipe or a file, lines go as they are.
#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "text/severity.h"

class QSocketNotifier;

namespace quillon {

class LineOutput final : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kQueueLimit = std::size_t(1) << 20;

    // `fd` is made non-blocking (its flags are given back at the end), and
    // SIGPIPE is ignored from then on.
    explicit LineOutput(int fd, std::size_t queueLimit = kQueueLimit, QObject* parent = nullptr);
    // What is still queued goes out if the reader takes it within a second.
    ~LineOutput() override;

    // The line and a line feed, or nothing when it is dropped.
    void Say(std::string_view line, Severity severity = Severity::Info);
    // Lines carry their level (the descriptor is the journal's stream).
    bool ToJournal() const { return journal_; }
    // The reader went away, or writing failed otherwise: nothing more is
    // written.
    bool Ended() const { return ended_; }
    // The system's reason the output ended.
    int EndError() const { return endError_; }

signals:
    void OutputEnded();

private:
    void Flush();
    void Append(std::string_view line, Severity severity);

    int fd_;
    int flags_ = -1;  // the descriptor's own, given back at the end
    std::size_t limit_;
    std::string queue_;
    std::size_t sent_ = 0;  // bytes of the queue written
    std::uint64_t dropped_ = 0;
    bool dropping_ = false;
    bool ended_ = false;
    bool journal_ = false;
    int endError_ = 0;
    std::unique_ptr<QSocketNotifier> writable_;
};

// The line said once the dropped lines are over.
std::string DroppedLinesLine(std::uint64_t lines);

// Whether `fd` is the stream that JOURNAL_STREAM names.
bool IsJournalStream(int fd);

// While one lives (one at a time, after the application object): standard
// output and standard error as line outputs. When both
// lead to the same place (2>&1, one terminal) they share one output, so
// that their lines never cut into each other.
class StandardStreams {
public:
    StandardStreams();
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

private:
    std::unique_ptr<LineOutput> out_, err_;
};

// A line to standard output or standard error: through the line outputs
// while StandardStreams lives, else written straight away (a tool, a test).
void SayOnStandardOutput(std::string_view line, Severity severity = Severity::Info);
void SayOnStandardError(std::string_view line, Severity severity = Severity::Info);

}  // namespace quillon
