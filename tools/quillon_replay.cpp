// quillon-replay: a simulated TNC. It opens a pseudo-terminal, links its
// slave side to a path (typically COM1 in a program folder), waits until a
// program has opened that side, and then plays raw KISS logs (.kss) into it,
// paced like a serial line or as fast as the reader takes them. Everything the
// program sends back (TNC scripts, say) can be recorded into a file.
//
// Noticing the open: the master of a pseudo-terminal reports POLLHUP while no
// process holds the slave open, but only once the slave has been opened and
// closed at least once. The tool therefore opens and closes the slave itself
// right after creating the pair; from then on the hang-up indication goes away
// exactly when the other side opens the port, and comes back when it closes it
// (the replay then pauses until the port is opened again).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_line.h"
#include "pseudo_terminal.h"
#include "tnc/time_frame.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kUsage =
    "Usage: quillon-replay --link PATH [options] [FILE.kss...]\n"
    "\n"
    "Simulated TNC: plays raw KISS logs into a pseudo-terminal whose slave side\n"
    "is linked at PATH (for example COM1 in Quillon's program folder).\n"
    "\n"
    "  --link PATH        symbolic link to create (an existing link is replaced)\n"
    "  --baud N           pace the bytes like a serial line of N baud, 10 bits\n"
    "                     per byte (default 9600)\n"
    "  --fast             write as fast as the other side reads\n"
    "  --chunks MIN-MAX   write in chunks of random sizes from MIN to MAX bytes\n"
    "  --seed N           seed of the chunk sizes (default 1)\n"
    "  --loop             start again from the first file after the last one\n"
    "  --no-time-frames   leave out the time frames of the logs (a TNC sends none)\n"
    "  --record FILE      write every byte the other side sends into FILE\n"
    "  --exit-when-done   exit once the other side has read everything\n"
    "  --help             show this text\n"
    "  --version          show the version\n"
    "\n"
    "The replay starts when the other side opens the port and pauses while it\n"
    "has it closed. Without files the tool only holds the port open and\n"
    "records (as the receiver behind a mirror port). Without --exit-when-done\n"
    "the pseudo-terminal stays open after the replay until SIGTERM or SIGINT.\n"
    "The link is removed at exit.\n";

struct Options {
    std::string link;
    long baud = 9600;          // 0: as fast as the reader takes the bytes
    std::size_t chunkMin = 0;  // 0: no random chunks
    std::size_t chunkMax = 0;
    unsigned long seed = 1;
    bool loop = false;
    bool noTimeFrames = false;
    std::string record;
    bool exitWhenDone = false;
    std::vector<std::string> files;
};

volatile sig_atomic_t g_stop = 0;
sigset_t g_waitMask;  // the mask during waits: the stop signals let through

extern "C" void OnStopSignal(int) { g_stop = 1; }

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "quillon-replay: %s\n", message.c_str());
    std::exit(2);
}

void Note(const std::string& message) { std::fprintf(stderr, "quillon-replay: %s\n", message.c_str()); }

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

unsigned long ParseNumber(const std::string& text, const char* option)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-')
        Fail(std::string("bad number for ") + option + ": " + text);
    return value;
}

void ParseChunks(const std::string& text, Options& o)
{
    const auto dash = text.find('-');
    if (dash == std::string::npos)
        Fail("--chunks takes MIN-MAX, for example 1-64");
    o.chunkMin = ParseNumber(text.substr(0, dash), "--chunks");
    o.chunkMax = ParseNumber(text.substr(dash + 1), "--chunks");
    if (o.chunkMin == 0 || o.chunkMax < o.chunkMin)
        Fail("--chunks needs 1 <= MIN <= MAX");
}

Options ParseOptions(int argc, char** argv)
{
    const quillon::CommandLine commandLine("quillon-replay", kUsage, kUsage.substr(0, kUsage.find('\n') + 1));
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Fail(arg + " needs a value");
            return argv[++i];
        };
        commandLine.HandleStandardOption(arg == "-h" ? "--help" : arg);
        if (arg == "--link")
            o.link = value();
        else if (arg == "--baud")
            o.baud = long(ParseNumber(value(), "--baud"));
        else if (arg == "--fast")
            o.baud = 0;
        else if (arg == "--chunks")
            ParseChunks(value(), o);
        else if (arg == "--seed")
            o.seed = ParseNumber(value(), "--seed");
        else if (arg == "--loop")
            o.loop = true;
        else if (arg == "--no-time-frames")
            o.noTimeFrames = true;
        else if (arg == "--record")
            o.record = value();
        else if (arg == "--exit-when-done")
            o.exitWhenDone = true;
        else if (arg.size() > 1 && arg[0] == '-')
            commandLine.UnknownOption(arg);
        else
            o.files.push_back(arg);
    }
    if (o.link.empty())
        Fail("--link PATH is needed (see --help)");
    if (o.baud < 0 || (o.baud > 0 && o.baud < 10))
        Fail("--baud must be 10 or more");
    return o;
}

// Waits for events on the descriptors (none: a plain pause) for at most
// `timeout`; the stop signals are let through only here.
int Wait(pollfd* fds, nfds_t count, milliseconds timeout)
{
    const auto ms = std::max<long long>(0, timeout.count());
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    const int n = ::ppoll(fds, count, &ts, &g_waitMask);
    return n < 0 ? 0 : n;
}

void InstallSignals()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&stopSignals, sig);
        struct sigaction sa {};
        sa.sa_handler = OnStopSignal;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
    ::sigprocmask(SIG_BLOCK, &stopSignals, &g_waitMask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigdelset(&g_waitMask, sig);
}

// The symbolic link to the slave, made atomically and removed at exit when it
// still points at this process's pseudo-terminal.
struct Link {
    std::string path;
    std::string target;

    void Make(const std::string& linkPath, const std::string& slave)
    {
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
            Fail(linkPath + " exists and is not a symbolic link; not replacing it");
        const std::string temp = linkPath + ".replay-" + std::to_string(::getpid());
        ::unlink(temp.c_str());
        if (::symlink(slave.c_str(), temp.c_str()) != 0)
            Fail(Errno("cannot make the link " + temp));
        if (::rename(temp.c_str(), linkPath.c_str()) != 0) {
            ::unlink(temp.c_str());
            Fail(Errno("cannot make the link " + linkPath));
        }
        path = linkPath;
        target = slave;
    }

    ~Link()
    {
        if (path.empty())
            return;
        char buf[4096];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
        if (n >= 0 && std::string(buf, std::size_t(n)) == target)
            ::unlink(path.c_str());
    }
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("cannot read " + path);
    std::string data;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
        data.append(buf, static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        Fail("cannot read " + path);
    return data;
}

// The bytes to play: the files one after the other, over and over with --loop.
class Source {
public:
    Source(std::vector<std::string> data, bool loop) : data_(std::move(data)), loop_(loop) {}

    bool Done() const { return file_ >= data_.size(); }

    std::string Take(std::size_t count)
    {
        std::string out;
        while (out.size() < count && !Done()) {
            const std::string& d = data_[file_];
            const std::size_t n = std::min(count - out.size(), d.size() - offset_);
            out.append(d, offset_, n);
            offset_ += n;
            if (offset_ == d.size())
                NextFile();
        }
        return out;
    }

private:
    void NextFile()
    {
        offset_ = 0;
        ++file_;
        if (file_ == data_.size() && loop_ && TotalSize() > 0)
            file_ = 0;
    }

    std::size_t TotalSize() const
    {
        std::size_t n = 0;
        for (const auto& d : data_)
            n += d.size();
        return n;
    }

    std::vector<std::string> data_;
    bool loop_;
    std::size_t file_ = 0;
    std::size_t offset_ = 0;
};

// Writes the replay: chunk sizes, pacing, partial writes.
class Player {
public:
    Player(const Options& o, Source& source) : o_(o), source_(source), random_(o.seed) {}

    bool Finished() const { return pending_.empty() && source_.Done(); }
    std::size_t Written() const { return written_; }

    // Starts the line clock anew (at the start and after a pause).
    void Restart()
    {
        start_ = Clock::now();
        sinceStart_ = 0;
    }

    // How long until the next chunk is due; zero when bytes wait to be written.
    milliseconds UntilDue()
    {
        Refill();
        if (pending_.empty())
            return milliseconds(500);
        const auto left = due_ - Clock::now();
        return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(left));
    }

    // Writes what the pseudo-terminal takes of the pending chunk.
    void Write(int fd)
    {
        if (pending_.empty() || Clock::now() < due_)
            return;
        const ssize_t n = ::write(fd, pending_.data() + done_, pending_.size() - done_);
        if (n <= 0)
            return;  // EAGAIN: full, the reader will make room
        done_ += std::size_t(n);
        written_ += std::size_t(n);
        if (done_ == pending_.size()) {
            pending_.clear();
            done_ = 0;
        }
    }

private:
    std::size_t NextChunkSize()
    {
        if (o_.chunkMin > 0)
            return std::uniform_int_distribution<std::size_t>(o_.chunkMin, o_.chunkMax)(random_);
        if (o_.baud == 0)
            return 4096;
        return std::size_t(std::max(1L, o_.baud / 1000));  // about every 10 ms
    }

    void Refill()
    {
        if (!pending_.empty() || source_.Done())
            return;
        pending_ = source_.Take(NextChunkSize());
        sinceStart_ += pending_.size();
        due_ = start_;
        if (o_.baud > 0) {
            // A chunk is there when its last byte has come down the line.
            const auto micros = static_cast<long long>(sinceStart_) * 10 * 1000000LL / o_.baud;
            due_ += std::chrono::microseconds(micros);
        }
    }

    const Options& o_;
    Source& source_;
    std::mt19937 random_;
    std::string pending_;
    std::size_t done_ = 0;
    std::size_t written_ = 0;
    std::size_t sinceStart_ = 0;
    Clock::time_point start_ = Clock::now();
    Clock::time_point due_ = Clock::now();
};

// Reads what the other side sent and appends it to the record file.
void TakeReplies(int master, int record)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            return;
        if (record >= 0 && ::write(record, buf, std::size_t(n)) != n)
            Note(Errno("cannot write the record file"));
    }
}

// Waits until some process opens the slave side; false on a stop signal.
bool WaitForOpen(const quillon::Pty& pty)
{
    bool told = false;
    while (!g_stop) {
        if (pty.PeerOpen())
            return true;
        if (!told)
            Note("waiting for the port to be opened");
        told = true;
        Wait(nullptr, 0, milliseconds(50));
    }
    return false;
}

// Before leaving with --exit-when-done: the bytes still queued on the slave
// side would be lost when the master closes, so wait until they are read.
void WaitUntilDrained(const quillon::Pty& pty)
{
    const int s = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s < 0) {
        Wait(nullptr, 0, milliseconds(1000));
        return;
    }
    const auto limit = Clock::now() + std::chrono::seconds(30);
    int emptyChecks = 0;
    while (!g_stop && emptyChecks < 3 && Clock::now() < limit) {
        int queued = 0;
        if (::ioctl(s, FIONREAD, &queued) != 0)
            break;
        emptyChecks = queued == 0 ? emptyChecks + 1 : 0;
        Wait(nullptr, 0, milliseconds(20));
    }
    ::close(s);
}

// The main loop: replay while the port is open, then hold it open (or leave).
void Run(const Options& o, quillon::Pty& pty, Player& player, int record)
{
    if (!WaitForOpen(pty))
        return;
    Note("port opened, replaying");
    player.Restart();
    bool reported = false;
    while (!g_stop) {
        if (!pty.PeerOpen()) {
            Note("the port was closed");
            if (!WaitForOpen(pty))
                return;
            Note("port opened again");
            player.Restart();
        }
        if (player.Finished() && !reported) {
            Note("replay done, " + std::to_string(player.Written()) + " bytes");
            reported = true;
            if (o.exitWhenDone) {
                WaitUntilDrained(pty);
                return;
            }
        }
        // Bytes due: wait for room in the queue; else until they are due.
        const milliseconds due = player.UntilDue();
        const bool writable = due.count() == 0;
        pollfd p{pty.MasterFd(), short(POLLIN | (writable ? POLLOUT : 0)), 0};
        Wait(&p, 1, writable ? milliseconds(500) : std::min(due, milliseconds(500)));
        if (p.revents & POLLHUP)
            continue;  // handled at the top of the loop, without spinning
        if (p.revents & POLLIN)
            TakeReplies(pty.MasterFd(), record);
        player.Write(pty.MasterFd());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv);
    std::vector<std::string> data;
    for (const auto& f : o.files)
        data.push_back(o.noTimeFrames ? quillon::StripTimeFrames(ReadFile(f)) : ReadFile(f));

    InstallSignals();
    int record = -1;
    if (!o.record.empty()) {
        record = ::open(o.record.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (record < 0)
            Fail(Errno("cannot create " + o.record));
    }
    std::optional<quillon::Pty> made;
    try {
        made.emplace();
    } catch (const std::system_error& e) {
        Fail(std::string("cannot create a pseudo-terminal: ") + e.what());
    }
    quillon::Pty& pty = *made;
    Link link;
    link.Make(o.link, pty.SlavePath());
    Note(o.link + " -> " + pty.SlavePath());

    Source source(std::move(data), o.loop);
    Player player(o, source);
    Run(o, pty, player, record);

    if (record >= 0)
        ::close(record);
    pty.Close();
    return 0;
}
