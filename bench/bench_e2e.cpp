// End to end: the real quillon binary, offscreen, in a throw-away program
// folder, with the console and all three logs (TIMEFRAMES=YES, HEXFILE=YES).
// The sample traffic, repeated, goes into COM1's pseudo-terminal as fast as
// the program reads it. Prints the frames per second over the whole run and
// over its second half, and whether every frame reached the logs: the raw log
// must hold exactly the frames sent (each behind a time frame), the dump log
// one line per frame and the hex log one per frame with a payload. The same
// frames then go into kissutil: the program's CPU per frame beside its.
//
// The soak sends a million different frames instead (the tools' encoder, all
// byte values in the payloads) in pieces of random sizes, and takes the TNC
// away ten times at random points, each time in the middle of a frame: the
// pseudo-terminal closed, and after the program has said so, a new one linked
// as COM1. Once the program has opened it again and sent the init script,
// the stream goes on with the frame behind the one cut off. Every frame sent
// whole must be in the raw log, byte for byte, and the cut-off ones nowhere.
// It takes minutes and is no part of the test run.
//
// The headless run is the service's: quillon --headless with no display at
// all, a million different frames (those of the soak) in pieces of 64 KB.
// The program's CPU time and resident memory are taken when the raw log
// holds 100,000 frames and when it holds them all: the CPU per frame, and
// memory that must stay flat with no console behind it. kissutil gets the
// same frames, and its CPU per frame is the yardstick.
//
// Over KISS TCP (--tcp) the program is the client of a KISS server that the
// benchmark plays on the loopback (KISS_TCP), with the console and all four
// logs (JSONFILE=YES too); kissutil is a client of such a server as well.
// Reading a socket is cheap, so this shows best what the logs cost.
//
// QUILLON_BENCH_BINARY=PATH runs that quillon binary instead of the one
// built here (another build's, for figures before and after a change).
//
//   bench_e2e [--frames N] [--soak | --headless | --tcp] [--reopen R] [--aprs] [--json]
//     N defaults to 200000, with --soak or --headless to 1000000; R (the
//     times the TNC is taken away) to 0, with --soak to 10; --aprs runs the
//     program with APRS=YES (what each APRS frame says in its report),
//     --json with JSONFILE=YES (always so with --tcp)
#include <poll.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "frames.h"
#include "kissutil.h"
#include "program.h"
#include "tnc/time_frame.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

constexpr const char* kIni =
    "COM_PORT=1\r\n"
    "COM_SETTINGS=9600,N,8,1\r\n"
    "MIRROR_COM_PORT=2\r\n"
    "MIRROR=NO\r\n"
    "TIMEFRAMES=YES\r\n"
    "HEXFILE=YES\r\n";

struct Progress {
    double seconds;
    std::uintmax_t rawLogBytes;
};

// The program's CPU and memory, taken when the raw log held `frames`.
struct Sample {
    std::size_t frames;
    double cpu;
    long rss;
};

// A point where the TNC goes away: inside frame `frame`, after `offset`
// bytes of the stream; the raw log holds `logged` bytes by then.
struct Cut {
    std::size_t frame;
    std::size_t offset;
    std::uintmax_t logged;
};

std::size_t Count(const std::string& text, const char* pattern)
{
    const std::regex re(pattern);
    return std::size_t(std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // for the program's QProcess
    std::size_t frames = 0;
    bool soak = false;
    bool headless = false;
    bool tcp = false;
    bool aprs = false;
    bool json = false;
    int reopen = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            frames = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--soak") == 0)
            soak = true;
        else if (std::strcmp(argv[i], "--headless") == 0)
            headless = true;
        else if (std::strcmp(argv[i], "--tcp") == 0)
            tcp = true;
        else if (std::strcmp(argv[i], "--aprs") == 0)
            aprs = true;
        else if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (std::strcmp(argv[i], "--reopen") == 0 && i + 1 < argc)
            reopen = std::stoi(argv[++i]);
    }
    if (frames == 0)
        frames = soak || headless ? 1000000 : 200000;
    if (reopen < 0)
        reopen = soak ? 10 : 0;
    if (tcp)
        reopen = 0;
    const std::string mode = soak ? "soak" : headless ? "headless" : tcp ? "KISS TCP" : "end to end";

    const bool different = soak || headless;
    const std::vector<std::string> kinds = different ? test::ManyFrames(frames, 20130728) : SampleFrames();
    const std::string stream = RepeatFrames(kinds, frames);
    std::vector<std::size_t> starts;  // of each frame in the stream, and its end
    for (std::size_t i = 0, at = 0; i <= frames; at += kinds[i % kinds.size()].size(), ++i)
        starts.push_back(at);

    // The cut points, in the middle of frames away from both ends, and what
    // the raw log must hold: every frame but the cut ones.
    std::mt19937 random(7);
    std::set<std::size_t> cutFrames;
    while (cutFrames.size() < std::min(std::size_t(reopen), frames / 2))
        cutFrames.insert(frames / 20 + random() % (frames - frames / 10));
    // The size of the raw log behind each of those frames, for the samples
    // of a headless run.
    std::vector<Cut> cuts;
    std::string expected;
    expected.reserve(stream.size());
    std::size_t expectedFrames = 0;
    std::vector<std::uintmax_t> loggedEnds;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t size = starts[i + 1] - starts[i];
        if (cutFrames.count(i)) {
            cuts.push_back({i, starts[i] + 1 + random() % (size - 1),
                            expected.size() + std::uintmax_t(kTimeFrameLength) * expectedFrames});
            continue;
        }
        expected.append(stream, starts[i], size);
        ++expectedFrames;
        if (headless)
            loggedEnds.push_back(expected.size() + std::uintmax_t(kTimeFrameLength) * expectedFrames);
    }
    // The samples are taken once the raw log holds this many frames.
    std::vector<std::size_t> marks;
    if (headless)
        marks = expectedFrames > 100000 ? std::vector<std::size_t>{100000, expectedFrames}
                                        : std::vector<std::size_t>{expectedFrames};
    const std::uintmax_t expectedRaw = expected.size() + std::uintmax_t(kTimeFrameLength) * expectedFrames;
    const std::size_t expectedHex = CountHexLines(expected);

    test::ProgramFolder folder;
    if (const char* binary = std::getenv("QUILLON_BENCH_BINARY")) {
        QFile::remove(QString::fromStdString(folder.File("quillon")));
        QFile::copy(QString::fromUtf8(binary), QString::fromStdString(folder.File("quillon")));
    }
    int serverPort = 0;
    const int server = tcp ? ListenOnLoopback(serverPort) : -1;
    folder.Write("quillon.ini",
                 std::string(kIni) +
                     (tcp ? "KISS_TCP=127.0.0.1:" + std::to_string(serverPort) + "\r\nJSONFILE=YES\r\n" : "") +
                     (json && !tcp ? "JSONFILE=YES\r\n" : "") + (aprs ? "APRS=YES\r\n" : ""));
    // What a TNC that comes back gets, the sign that the program has it open.
    const std::string init = "KISS ON\r";
    folder.Write("tnc_init.txt", "KISS ON\r\n");
    // Headless, its status lines come on standard output, and no display
    // is there to be found.
    test::RunningQuillon quillon(folder,
                                 headless ? QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}
                                          : QStringList{"QUILLON_STATUS_TO_STDERR=1"},
                                 {}, {}, headless ? QStringList{"--headless"} : QStringList{});
    // Over KISS TCP the program connects to the server; no script goes out.
    const int connection = tcp ? AcceptWithin(server, 30) : -1;
    if (tcp ? connection < 0 || !WaitFor([&] { return !folder.LogName(".kss").empty(); }, 30)
            : !quillon.WaitStarted()) {
        std::fprintf(stderr, "bench_e2e: quillon did not start:\n%s\n", quillon.Output().c_str());
        return 1;
    }
    if (!tcp)
        folder.Com1().ReadUntil([&](const std::string& got) { return got.size() >= init.size(); },
                                std::chrono::seconds(30));
    std::printf("end to end%s: %s %sframes (%s bytes) into the real program%s as fast as it reads",
                soak       ? " (soak)"
                : headless ? " (headless)"
                : tcp      ? " (KISS TCP, all four logs)"
                           : "",
                Grouped(double(frames)).c_str(), different ? "different " : "", Grouped(double(stream.size())).c_str(),
                headless ? " (--headless, no display)" : "");
    if (!cuts.empty())
        std::printf(", the TNC taken away and brought back %zu times", cuts.size());
    std::printf("\n");
    const double cpuBefore = CpuSeconds(pid_t(quillon.Pid()));
    const long rssBefore = ResidentKilobytes(quillon.Pid());

    // Write as fast as the pseudo-terminal takes the bytes, looking at the raw
    // log's growth every 50 ms on the way.
    // The time the TNC is away is not counted.
    int master = tcp ? connection : folder.Com1().MasterFd();
    std::vector<Progress> progress;
    std::vector<Sample> samples;
    Stopwatch clock;
    double away = 0;
    double lastLook = -1;
    double lastGrowth = 0;
    std::size_t written = 0;
    std::size_t nextCut = 0;
    bool stalled = false;
    bool cameBack = true;
    for (;;) {
        const std::size_t until = nextCut < cuts.size() ? cuts[nextCut].offset : stream.size();
        if (written == until && nextCut < cuts.size()) {
            // Everything before the cut logged, then the TNC goes away and
            // comes back once the program has seen it go.
            const Cut& cut = cuts[nextCut];
            const double before = clock.Seconds();
            const std::string raw = folder.File(folder.LogName(".kss"));
            const auto lost = [&] { return Count(quillon.Output(), "COM 1 lost: ") > nextCut; };
            cameBack = WaitFor([&] { return FileSize(raw) >= cut.logged; }, 30);
            folder.Unplug(1);
            cameBack = cameBack && WaitFor(lost, 30) &&
                       folder.Replug(1).ReadUntil([&](const std::string& got) { return got.size() >= init.size(); },
                                                  std::chrono::seconds(30)) == init;
            if (!cameBack) {
                std::fprintf(stderr, "bench_e2e: the TNC did not come back at cut %zu:\n%s\n", nextCut + 1,
                             quillon.Output().c_str());
                break;
            }
            master = folder.Com1().MasterFd();
            written = starts[cut.frame + 1];
            ++nextCut;
            away += clock.Seconds() - before;
            lastGrowth = clock.Seconds();
            continue;
        }
        if (written < until) {
            const std::size_t piece = soak ? 1 + random() % 8192 : std::size_t(1) << 16;
            const ssize_t n = ::write(master, stream.data() + written, std::min(until - written, piece));
            if (n > 0) {
                written += std::size_t(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "bench_e2e: write to COM1: %s\n", std::strerror(errno));
                return 1;
            } else {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 50);
            }
        } else {
            ::usleep(5000);
        }
        const double now = clock.Seconds();
        if (now - lastLook < 0.05 && written < stream.size())
            continue;
        lastLook = now;
        QCoreApplication::processEvents();  // the program's output
        quillon.Output();
        const std::uintmax_t size = FileSize(folder.File(folder.LogName(".kss")));
        if (progress.empty() || size > progress.back().rawLogBytes)
            lastGrowth = now;
        progress.push_back({now - away, size});
        while (samples.size() < marks.size() && size >= loggedEnds[marks[samples.size()] - 1])
            samples.push_back(
                {std::size_t(std::upper_bound(loggedEnds.begin(), loggedEnds.end(), size) - loggedEnds.begin()),
                 CpuSeconds(pid_t(quillon.Pid())), ResidentKilobytes(quillon.Pid())});
        if (size >= expectedRaw)
            break;
        if (now - lastGrowth > 30) {
            stalled = true;
            break;
        }
    }
    const double seconds = progress.empty() ? 0 : progress.back().seconds;
    const double cpu = CpuSeconds(pid_t(quillon.Pid())) - cpuBefore;
    const long rss = ResidentKilobytes(quillon.Pid());
    WaitFor([] { return false; }, 0.2);
    const std::string output = quillon.Output();
    const std::size_t lostLines = Count(output, "COM 1 lost: [^\n]+\n"),
                      reopenedLines = Count(output, "COM 1 reopened\n");

    // The dump log is written right behind the raw log; wait for its lines.
    Stopwatch dumpWait;
    while (CountLines(folder.ReadLog(".dump")) < expectedFrames && dumpWait.Seconds() < 30)
        ::usleep(20000);
    const int exit = quillon.Stop();
    for (const int fd : {connection, server})
        if (fd >= 0)
            ::close(fd);

    // Second half: from the moment the raw log held half the frames.
    double halfAt = 0;
    for (const Progress& p : progress)
        if (p.rawLogBytes * 2 >= expectedRaw) {
            halfAt = p.seconds;
            break;
        }
    const double rate = double(expectedFrames) / seconds;
    const double secondHalfRate = seconds > halfAt ? double(expectedFrames) / 2 / (seconds - halfAt) : 0;

    const std::string raw = folder.ReadLog(".kss");
    std::size_t timeFrames = 0;
    const std::string framesLogged = StripTimeFrames(raw, &timeFrames);
    const std::size_t rawFrames = CountFrames(framesLogged);
    const std::size_t dumpLines = CountLines(folder.ReadLog(".dump"));
    const std::size_t hexLines = CountLines(folder.ReadLog(".hex"));
    const bool identical = framesLogged == expected;
    const std::size_t lost = expectedFrames - std::min(expectedFrames, std::min(rawFrames, dumpLines));
    const bool allLogged = lost == 0 && identical && timeFrames == expectedFrames && hexLines == expectedHex &&
                           rawFrames == expectedFrames && cameBack && lostLines == cuts.size() &&
                           reopenedLines == cuts.size();

    std::printf("  time                 %.2f s%s\n", seconds, stalled ? " (the raw log stopped growing)" : "");
    std::map<std::string, int> portLines;  // the port's status lines, counted
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("COM 1 "))
            ++portLines[line];
    for (const auto& [line, times] : portLines)
        std::printf("  status line          %dx \"%s\"\n", times, line.c_str());
    if (reopen > 0)
        std::printf(
            "  TNC away             %zu times, %.2f s in all (not in the time above); %zu \"lost\" and %zu "
            "\"reopened\" lines%s\n",
            cuts.size(), away, lostLines, reopenedLines, cameBack ? "" : "; it did NOT come back");
    std::printf("  frames per second    %s overall, %s in the second half\n", Grouped(rate).c_str(),
                Grouped(secondHalfRate).c_str());
    const double cpuPerFrame = 1e6 * cpu / double(expectedFrames);  // us
    std::printf("  program CPU          %.2f s (%.0f%% of the time), %.2f us per frame\n", cpu, 100 * cpu / seconds,
                cpuPerFrame);
    std::printf("  program memory       %s kB resident at the end, %s kB at the start (%.2f kB per frame)\n",
                Grouped(double(rss)).c_str(), Grouped(double(rssBefore)).c_str(),
                double(rss - rssBefore) / double(frames));
    // The headless samples: CPU per frame once the run is under way, and the
    // resident memory's growth from the first sample to the last.
    const bool sampled = headless && samples.size() == marks.size();
    const Sample first = sampled ? samples.front() : Sample{0, cpuBefore, rssBefore};
    const Sample last = sampled ? samples.back() : first;
    const double laterCpuPerFrame =
        last.frames > first.frames ? 1e6 * (last.cpu - first.cpu) / double(last.frames - first.frames) : 0;
    const long growth = last.rss - first.rss;
    if (headless && !sampled)
        std::printf("  samples              %zu of %zu taken\n", samples.size(), marks.size());
    if (sampled && samples.size() > 1) {
        std::printf("  CPU per frame        %.2f us over the run, %.2f us from frame %s to %s\n", cpuPerFrame,
                    laterCpuPerFrame, Grouped(double(first.frames)).c_str(), Grouped(double(last.frames)).c_str());
        std::printf("  resident memory      %s kB at the start, %s kB at %s frames, %s kB at %s: %+ld kB\n",
                    Grouped(double(rssBefore)).c_str(), Grouped(double(first.rss)).c_str(),
                    Grouped(double(first.frames)).c_str(), Grouped(double(last.rss)).c_str(),
                    Grouped(double(last.frames)).c_str(), growth);
    }
    std::printf("  raw log              %s frames, %s time frames, %s\n", Grouped(double(rawFrames)).c_str(),
                Grouped(double(timeFrames)).c_str(),
                identical
                    ? (cuts.empty() ? "byte-identical to the frames sent" : "byte-identical to the frames sent whole")
                    : "NOT identical to the frames sent");
    std::printf("  dump log             %s lines; hex log %s lines (%s frames with a payload)\n",
                Grouped(double(dumpLines)).c_str(), Grouped(double(hexLines)).c_str(),
                Grouped(double(expectedHex)).c_str());
    std::printf("  exit on SIGTERM      %s\n",
                exit == 0 ? "status 0" : ("FAILED (" + std::to_string(exit) + ")").c_str());

    Result(mode + ", frames/s (" + Grouped(double(frames)) + " frames)",
           Grouped(rate) + " (2nd half " + Grouped(secondHalfRate) + ")", ">= 10,000",
           Verdict(rate >= 10000 && secondHalfRate >= 10000));
    Result(mode + ", frames lost", std::to_string(lost) + (identical ? ", raw log identical" : ", raw log differs"),
           "0", Verdict(allLogged && exit == 0));
    if (!soak) {
        // The yardstick, side by side: the same frames through a
        // pseudo-terminal into Dire Wolf's kissutil, which prints a line per
        // frame and keeps nothing.
        const KissutilRun yardstick = RunKissutil(stream, frames, tcp);
        const double kissutilRate = yardstick.seconds > 0 ? double(yardstick.frames) / yardstick.seconds : 0;
        const double kissutilCpuPerFrame = 1e6 * yardstick.cpuSeconds / double(frames);  // us
        const bool cpuKnown = yardstick.ran && yardstick.cpuSeconds > 0;
        const double cpuRatio = cpuKnown ? cpuPerFrame / kissutilCpuPerFrame : 0;
        if (yardstick.ran)
            std::printf("  kissutil             %s frames/s (%s of the frames printed in %.2f s), CPU %.2f s\n",
                        Grouped(kissutilRate).c_str(), Grouped(double(yardstick.frames)).c_str(), yardstick.seconds,
                        yardstick.cpuSeconds);
        else
            std::printf("  kissutil             not found (Debian package direwolf)\n");
        if (cpuKnown)
            std::printf("  against kissutil     CPU per frame %.2f us the program, %.2f us kissutil: x%.3f\n",
                        cpuPerFrame, kissutilCpuPerFrame, cpuRatio);
        char figure[120];
        std::snprintf(figure, sizeof figure, "x%.1f (%s against %s frames/s)",
                      kissutilRate > 0 ? rate / kissutilRate : 0, Grouped(rate).c_str(), Grouped(kissutilRate).c_str());
        Result(mode + " against kissutil", yardstick.ran ? figure : "kissutil not found", ">= x3",
               yardstick.ran ? Verdict(yardstick.frames == frames && rate >= 3 * kissutilRate) : "-");
        // With the window, the console painting as frames pour in and the
        // three logs written, at most a sixth of kissutil's CPU; headless, a
        // tenth.
        std::snprintf(figure, sizeof figure, "x%.3f (%.2f against %.2f us)", cpuRatio, cpuPerFrame,
                      kissutilCpuPerFrame);
        // Over KISS TCP, with all four logs, at most twice kissutil's.
        const double most = tcp ? 2 : headless ? 0.1 : 1.0 / 6;
        Result(mode + ", CPU per frame against kissutil's", cpuKnown ? figure : "kissutil not found",
               tcp        ? "<= x2"
               : headless ? "<= x0.1"
                          : "<= x0.167",
               cpuKnown ? Verdict(cpuRatio <= most) : "-");
    }
    if (headless) {
        char figure[120];
        std::snprintf(figure, sizeof figure, "%+.2f MB (%.1f MB at the start, %.1f / %.1f MB)", double(growth) / 1024,
                      double(rssBefore) / 1024, double(first.rss) / 1024, double(last.rss) / 1024);
        Result("headless, resident memory from " + Grouped(double(marks.front())) + " to " +
                   Grouped(double(marks.back())) + " frames",
               sampled ? figure : "not sampled", "< 2 MB", Verdict(sampled && growth < 2048));
    }
    if (reopen > 0)
        Result("soak, TNC taken away and brought back",
               std::to_string(reopenedLines) + " of " + std::to_string(cuts.size()) + " reopened, " +
                   Grouped(double(rss) / 1024) + " MB resident",
               std::to_string(cuts.size()), Verdict(cameBack && reopenedLines == cuts.size()));
    return allLogged && exit == 0 ? 0 : 1;
}
