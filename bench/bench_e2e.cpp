// End to end: the real quillon binary, offscreen, in a throw-away program
// folder, with the console and all three logs (TIMEFRAMES=YES, HEXFILE=YES).
// The sample traffic, repeated, goes into COM1's pseudo-terminal as fast as
// the program reads it. Prints the frames per second over the whole run and
// over its second half, and whether every frame reached the logs: the raw log
// must hold exactly the frames sent (each behind a time frame), the dump log
// one line per frame and the hex log one per frame with a payload.
//
// The soak sends a million different frames instead (the tools' encoder, all
// byte values in the payloads) in pieces of random sizes; it takes minutes
// and is no part of the test run.
//
//   bench_e2e [--frames N] [--soak]    N defaults to 200000, with --soak to 1000000
#include <QCoreApplication>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "frames.h"
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

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // for the program's QProcess
    std::size_t frames = 0;
    bool soak = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            frames = std::stoul(argv[++i]);
        else if (std::strcmp(argv[i], "--soak") == 0)
            soak = true;
    }
    if (frames == 0)
        frames = soak ? 1000000 : 200000;

    const std::string stream =
        soak ? RepeatFrames(test::ManyFrames(frames, 20130728), frames) : RepeatFrames(SampleFrames(), frames);
    const std::uintmax_t expectedRaw = stream.size() + std::uintmax_t(kTimeFrameLength) * frames;
    const std::size_t expectedHex = CountHexLines(stream);

    test::ProgramFolder folder;
    folder.Write("quillon.ini", kIni);
    test::RunningQuillon quillon(folder);
    if (!quillon.WaitStarted()) {
        std::fprintf(stderr, "bench_e2e: quillon did not start:\n%s\n", quillon.Output().c_str());
        return 1;
    }
    std::printf("end to end%s: %s %sframes (%s bytes) into the real program as fast as it reads\n",
                soak ? " (soak)" : "", Grouped(double(frames)).c_str(), soak ? "different " : "",
                Grouped(double(stream.size())).c_str());
    const double cpuBefore = quillon.CpuSeconds();

    // Write as fast as the pseudo-terminal takes the bytes, looking at the raw
    // log's growth every 50 ms on the way.
    const int master = folder.Com1().MasterFd();
    std::vector<Progress> progress;
    Stopwatch clock;
    double lastLook = -1;
    double lastGrowth = 0;
    std::size_t written = 0;
    bool stalled = false;
    std::mt19937 random(7);  // the soak's pieces: 1 to 8192 bytes
    for (;;) {
        if (written < stream.size()) {
            const std::size_t piece = soak ? 1 + random() % 8192 : std::size_t(1) << 16;
            const ssize_t n = ::write(master, stream.data() + written, std::min(stream.size() - written, piece));
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
        const std::uintmax_t size = FileSize(folder.File(folder.LogName(".kss")));
        if (progress.empty() || size > progress.back().rawLogBytes)
            lastGrowth = now;
        progress.push_back({now, size});
        if (size >= expectedRaw)
            break;
        if (now - lastGrowth > 30) {
            stalled = true;
            break;
        }
    }
    const double seconds = progress.back().seconds;
    const double cpu = quillon.CpuSeconds() - cpuBefore;
    const long rss = ResidentKilobytes(quillon.Pid());

    // The dump log is written right behind the raw log; wait for its lines.
    Stopwatch dumpWait;
    while (CountLines(folder.ReadLog(".dump")) < frames && dumpWait.Seconds() < 30)
        ::usleep(20000);
    const int exit = quillon.Stop();

    // Second half: from the moment the raw log held half the frames.
    double halfAt = 0;
    for (const Progress& p : progress)
        if (p.rawLogBytes * 2 >= expectedRaw) {
            halfAt = p.seconds;
            break;
        }
    const double rate = double(frames) / seconds;
    const double secondHalfRate = seconds > halfAt ? double(frames) / 2 / (seconds - halfAt) : 0;

    const std::string raw = folder.ReadLog(".kss");
    std::size_t timeFrames = 0;
    const std::string framesLogged = StripTimeFrames(raw, timeFrames);
    const std::size_t rawFrames = CountFrames(framesLogged);
    const std::size_t dumpLines = CountLines(folder.ReadLog(".dump"));
    const std::size_t hexLines = CountLines(folder.ReadLog(".hex"));
    const bool identical = framesLogged == stream;
    const std::size_t lost = frames - std::min(frames, std::min(rawFrames, dumpLines));
    const bool allLogged = lost == 0 && identical && timeFrames == frames && hexLines == expectedHex;

    std::printf("  time                 %.2f s%s\n", seconds, stalled ? " (the raw log stopped growing)" : "");
    std::printf("  frames per second    %s overall, %s in the second half\n",
                Grouped(rate).c_str(), Grouped(secondHalfRate).c_str());
    std::printf("  program CPU          %.2f s (%.0f%% of the time)\n", cpu, 100 * cpu / seconds);
    std::printf("  program memory       %s kB resident at the end (%.1f kB per frame)\n",
                Grouped(double(rss)).c_str(), double(rss) / double(frames));
    std::printf("  raw log              %s frames, %s time frames, %s\n", Grouped(double(rawFrames)).c_str(),
                Grouped(double(timeFrames)).c_str(),
                identical ? "byte-identical to the frames sent" : "NOT identical to the frames sent");
    std::printf("  dump log             %s lines; hex log %s lines (%s frames with a payload)\n",
                Grouped(double(dumpLines)).c_str(), Grouped(double(hexLines)).c_str(),
                Grouped(double(expectedHex)).c_str());
    std::printf("  exit on SIGTERM      %s\n", exit == 0 ? "status 0" : ("FAILED (" + std::to_string(exit) + ")").c_str());

    Result(std::string(soak ? "soak" : "end to end") + ", frames/s (" + Grouped(double(frames)) + " frames)",
           Grouped(rate) + " (2nd half " + Grouped(secondHalfRate) + ")", ">= 10,000",
           Verdict(rate >= 10000 && secondHalfRate >= 10000));
    Result(std::string(soak ? "soak" : "end to end") + ", frames lost",
           std::to_string(lost) + (identical ? ", raw log identical" : ", raw log differs"), "0",
           Verdict(allLogged && exit == 0));
    return allLogged && exit == 0 ? 0 : 1;
}
