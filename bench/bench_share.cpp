// Sharing the frames: the real quillon, headless, a client of the bench's
// KISS server over TCP (all logs), fed the sample traffic at a steady rate
// twice in one run: first with nobody to share with, then with the sharers
// on (KISS clients of its own KISS server, each reading every frame). Prints
// the program's CPU per frame in both halves and the difference per frame
// and client.
//
//   bench_share [--frames N] [--rate R] [--kiss C]
//     N frames each half (default 300000), R frames a second (default
//     60000), C KISS clients (default 8; 0 leaves the server off).
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "kissutil.h"
#include "program.h"
#include "tnc/time_frame.h"

namespace quillon::bench { namespace {

int ConnectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

// Writes `stream` into `connection` at `rate` frames a second (`starts`: where
// each frame begins), reading the clients meanwhile; the bytes each client got.
std::vector<std::size_t> Feed(int connection, const std::string& stream, const std::vector<std::size_t>& starts,
                              double rate, const std::vector<int>& clients)
{
    std::vector<std::size_t> got(clients.size());
    std::size_t written = 0;
    Stopwatch clock;
    char buffer[1 << 16];
    for (;;) {
        const std::size_t dueFrames = std::min(starts.size() - 1, std::size_t(clock.Seconds() * rate));
        const std::size_t due = starts[dueFrames];
        if (written < due) {
            const ssize_t n = ::write(connection, stream.data() + written, due - written);
            if (n > 0)
                written += std::size_t(n);
        }
        std::vector<pollfd> p;
        for (const int fd : clients)
            p.push_back({fd, POLLIN, 0});
        ::poll(p.data(), p.size(), 1);
        bool all = written == stream.size();
        for (std::size_t i = 0; i < clients.size(); ++i) {
            ssize_t n;
            while ((n = ::read(clients[i], buffer, sizeof buffer)) > 0)
                got[i] += std::size_t(n);
            all = all && got[i] >= stream.size();
        }
        if (all)
            return got;
        if (written == stream.size() && clock.Seconds() > double(starts.size()) / rate + 30)
            return got;  // a client fell behind for good
    }
}

}}  // namespace quillon::bench

int main(int argc, char** argv)
{
    using namespace quillon;
    using namespace quillon::bench;
    QCoreApplication app(argc, argv);
    std::size_t frames = 300000;
    double rate = 60000;
    int kissClients = 8;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::strtoull(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::strtod(argv[i + 1], nullptr);
        else if (std::strcmp(argv[i], "--kiss") == 0)
            kissClients = std::atoi(argv[i + 1]);
    }
    // Only whole KISS frames (the sample's time frames are times, not frames).
    const std::string stream = RepeatFrames(SampleFrames(), frames);
    std::vector<std::size_t> starts{0};
    for (std::size_t at = 1; at < stream.size(); ++at)
        if (stream[at - 1] == char(0xC0) && stream[at] == char(0xC0))
            starts.push_back(at);
    starts.push_back(stream.size());

    test::ProgramFolder folder;
    int serverPort = 0;
    const int server = ListenOnLoopback(serverPort);
    int kissPort = 0;
    {
        const int probe = ListenOnLoopback(kissPort);  // a free port, for the program's KISS server
        ::close(probe);
    }
    folder.Write("quillon.ini",
                 "TIMEFRAMES=YES\r\nHEXFILE=YES\r\nJSONFILE=YES\r\nKISS_TCP=127.0.0.1:" + std::to_string(serverPort) +
                     "\r\n" + (kissClients > 0 ? "KISS_SERVER=" + std::to_string(kissPort) + "\r\n" : ""));
    test::RunningQuillon quillon(folder, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, {}, {}, {"--headless"});
    const int connection = AcceptWithin(server, 30);
    if (connection < 0 || !WaitFor([&] { return !folder.LogName(".kss").empty(); }, 30)) {
        std::fprintf(stderr, "bench_share: quillon did not start:\n%s\n", quillon.Output().c_str());
        return 1;
    }
    const std::string raw = folder.File(folder.LogName(".kss"));
    std::printf(
        "sharing: %s frames (%s bytes) twice into quillon --headless over KISS TCP at %s frames/s, "
        "then with %d KISS clients\n",
        Grouped(double(starts.size() - 1)).c_str(), Grouped(double(stream.size())).c_str(), Grouped(rate).c_str(),
        kissClients);

    double cpu[2] = {};
    for (int half = 0; half < 2; ++half) {
        std::vector<int> clients;
        if (half == 1)
            for (int i = 0; i < kissClients; ++i)
                if (const int fd = ConnectTo(kissPort); fd >= 0)
                    clients.push_back(fd);
        if (!WaitFor([&] { return test::Count(quillon.Output(), "KISS client ") >= std::size_t(clients.size()); }, 30))
            std::fprintf(stderr, "bench_share: not every client was taken\n");
        const std::uintmax_t before = FileSize(raw);
        const double cpuBefore = CpuSeconds(pid_t(quillon.Pid()));
        const std::vector<std::size_t> got = Feed(connection, stream, starts, rate, clients);
        // All logged, each frame behind its time frame.
        WaitFor(
            [&] {
                return FileSize(raw) >= before + stream.size() + std::size_t(kTimeFrameLength) * (starts.size() - 1);
            },
            60);
        cpu[half] = CpuSeconds(pid_t(quillon.Pid())) - cpuBefore;
        for (std::size_t i = 0; i < got.size(); ++i)
            if (got[i] != stream.size())
                std::printf("  client %zu got %s of %s bytes\n", i + 1, Grouped(double(got[i])).c_str(),
                            Grouped(double(stream.size())).c_str());
        for (const int fd : clients)
            ::close(fd);
    }
    const double n = double(starts.size() - 1);
    const double alone = cpu[0] / n * 1e6, shared = cpu[1] / n * 1e6;
    const double perClient = kissClients > 0 ? (shared - alone) / kissClients : 0;
    std::printf("  CPU per frame: %.2f us alone, %.2f us with %d KISS clients: %.2f us per frame and client\n", alone,
                shared, kissClients, perClient);
    Result("sharing, CPU per frame alone", Grouped(alone, 2) + " us", "-", "-");
    Result("sharing, CPU per frame and KISS client", Grouped(perClient, 2) + " us", "<= 2 us", Verdict(perClient <= 2));
    quillon.Stop();
    return 0;
}
