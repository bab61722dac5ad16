// The cost of the MQTT feed: two runs of the real program side by side, each
// the client of a KISS server of ours on 127.0.0.1 that sends the same frames
// at a steady 60,000 frames a second, both with all four logs, one of them
// also publishing every frame to a real mosquitto broker on the loopback
// (started here) while mosquitto_sub listens. Prints each run's CPU per
// frame, the difference, and how many JSON lines the subscriber got.
//
//   bench_mqtt [--seconds S] [--rate R]     S defaults to 5, R to 60000
#include <QCoreApplication>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include "bench_util.h"
#include "frames.h"
#include "kissutil.h"
#include "mqtt_broker.h"
#include "program.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

constexpr const char* kIni = "TIMEFRAMES=YES\r\nHEXFILE=YES\r\nJSONFILE=YES\r\nAPRS=YES\r\n";

// One run of the program with its own KISS server.
struct Run {
    Run(const std::string& extra)
    {
        listener = ListenOnLoopback(port);
        folder.Write("quillon.ini", std::string(kIni) + "KISS_TCP=127.0.0.1:" + std::to_string(port) + "\r\n" + extra);
        q.emplace(folder, QStringList{"QUILLON_STATUS_TO_STDERR=1"}, QStringList{}, std::string{},
                  QStringList{"--headless"});
        connection = AcceptWithin(listener, 30);
    }
    ~Run()
    {
        ::close(connection);
        ::close(listener);
    }
    test::ProgramFolder folder;
    std::optional<test::RunningQuillon> q;
    int port = 0, listener = -1, connection = -1;
    std::size_t written = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 5, rate = 60000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::stod(argv[++i]);
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::stod(argv[++i]);

    test::MqttBroker broker;
    if (!broker.Start()) {
        std::fprintf(stderr, "bench_mqtt: mosquitto did not start\n%s\n", broker.Output().c_str());
        return 1;
    }
    const std::vector<std::string> sample = SampleFrames();
    const std::size_t total = std::size_t(seconds * rate);
    const std::string stream = RepeatFrames(sample, total);
    std::vector<std::size_t> ends;  // the stream's offset after each frame
    for (std::size_t i = 0, at = 0; i < total; ++i)
        ends.push_back(at += sample[i % sample.size()].size());

    Run plain(""), mqtt("MQTT=" + broker.Address() + "\r\nMQTT_TOPIC=bench\r\n");
    Run* runs[] = {&plain, &mqtt};
    if (plain.connection < 0 || mqtt.connection < 0 ||
        !WaitFor([&] { return mqtt.q->Output().find(" connected\n") != std::string::npos; }, 30)) {
        std::fprintf(stderr, "bench_mqtt: the programs did not connect\n%s\n", mqtt.q->Output().c_str());
        return 1;
    }
    test::MqttSubscriber sub(broker.Port(), "bench/frames");
    WaitFor([] { return false; }, 1);  // the subscription made

    const double brokerCpuBefore = CpuSeconds(pid_t(broker.Pid()));
    double cpuBefore[2];
    for (int k = 0; k < 2; ++k)
        cpuBefore[k] = CpuSeconds(pid_t(runs[k]->q->Pid()));
    // Frames go out in 2 ms slices of the rate, to both, from one clock.
    const Stopwatch clock;
    while (plain.written < stream.size() || mqtt.written < stream.size()) {
        const std::size_t due = ends[std::min(total, std::size_t(clock.Seconds() * rate) + 1) - 1];
        for (Run* r : runs)
            while (r->written < due) {
                const ssize_t n = ::write(r->connection, stream.data() + r->written, due - r->written);
                if (n <= 0)
                    break;
                r->written += std::size_t(n);
            }
        QCoreApplication::processEvents();  // the subscriber's lines
        sub.Output();
        ::usleep(2000);
    }
    const double sendSeconds = clock.Seconds();
    const auto logged = [&](Run& r) {
        return CountLines(test::ReadFile(r.folder.File(r.folder.LogName(".jsonl")))) >= total;
    };
    const bool done = WaitFor([&] { return logged(plain) && logged(mqtt); }, 120);
    WaitFor([&] { return test::Count(sub.Output(), "\n") >= total; }, 10);
    double perFrame[2];
    for (int k = 0; k < 2; ++k)
        perFrame[k] = (CpuSeconds(pid_t(runs[k]->q->Pid())) - cpuBefore[k]) / double(total) * 1e6;
    const std::size_t received = test::Count(sub.Output(), "\n");
    const double brokerCpu = CpuSeconds(pid_t(broker.Pid())) - brokerCpuBefore;
    for (Run* r : runs)
        r->q->Stop();
    const std::string output = mqtt.q->Output();
    const auto counts = output.find("frames published");
    const std::string said = counts == std::string::npos ? "(no counts said)"
                                                          : output.substr(output.rfind('\n', counts) + 1,
                                                                          output.find('\n', counts) - output.rfind('\n', counts) - 1);

    std::printf("bench_mqtt: %s frames at %s frames/s (sent in %.2f s), all four logs, APRS on%s\n",
                Grouped(double(total)).c_str(), Grouped(rate).c_str(), sendSeconds,
                done ? "" : " (NOT all logged)");
    std::printf("  CPU per frame without MQTT  %.2f us\n", perFrame[0]);
    std::printf("  CPU per frame with MQTT     %.2f us (+%.2f us)\n", perFrame[1], perFrame[1] - perFrame[0]);
    std::printf("  JSON lines the subscriber got  %s of %s\n", Grouped(double(received)).c_str(),
                Grouped(double(total)).c_str());
    std::printf("  the program said  %s\n", said.c_str());
    std::printf("  the broker's CPU  %.2f s, %.2f us per line the subscriber got; load average %s",
                brokerCpu, received ? brokerCpu / double(received) * 1e6 : 0.0,
                test::ReadFile("/proc/loadavg").c_str());
    Result("MQTT on: CPU per frame added at " + Grouped(rate) + " frames/s",
           std::to_string(perFrame[1] - perFrame[0]).substr(0, 4) + " us", "-", "-");
    Result("MQTT on: JSON lines a subscriber got", Grouped(double(received)) + " of " + Grouped(double(total)), "-", "-");
    return done ? 0 : 1;
}
