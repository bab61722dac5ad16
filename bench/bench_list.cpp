// The packet list's store over a million frames, the core alone:
// - its memory: the bytes it accounts for (rows, packed frame bytes, names)
//   and the growth of this process's resident set while it fills;
// - the CPU per frame of adding one (the APRS type read once, there);
// - the time of a few typical filters over all rows, of sorting all rows by
//   a few columns, and of making the texts of the rows in sight, as a view
//   paints them.
// Times are CPU seconds of this process (wall seconds beside them): on a
// machine shared with others they say what the work costs.
// The traffic is that of a busy APRS channel: the payloads of quillon-mkaprs's
// corpus (every kind of packet), sent by 2,000 stations over a few common
// paths, with a little connected-mode traffic between them.
//
//   bench_list [--frames N]    N defaults to 1000000
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/receiver.h"
#include "ax25_encoder.h"
#include "bench_util.h"
#include "decoder/frame_report.h"
#include "frames.h"
#include "packets/packet_filter.h"
#include "packets/packet_store.h"

using namespace quillon;
using namespace quillon::bench;

namespace {

// The payloads (information fields) and destinations of a generated APRS corpus.
struct Corpus {
    std::vector<std::string> payloads;
    std::vector<std::string> destinations;
};

Corpus ReadCorpus(std::size_t count)
{
    char folder[] = "/tmp/bench_list.XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return {};
    const std::string kss = std::string(folder) + "/corpus.kss";
    const std::string command = ProgramDir() + "/quillon-mkaprs --count " + std::to_string(count) + " " + kss + " " +
                                folder + "/corpus.tnc2";
    Corpus corpus;
    if (std::system(command.c_str()) == 0) {
        std::string bytes;
        if (std::FILE* in = std::fopen(kss.c_str(), "rb")) {
            char block[65536];
            for (std::size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;)
                bytes.append(block, n);
            std::fclose(in);
        }
        struct Collect final : ReceiveSink {
            Corpus* corpus;
            void Report(const FrameReport& r) override
            {
                if (!r.decoded)
                    return;
                const auto payload = PayloadOf(*r.decoded);
                corpus->payloads.emplace_back(payload.begin(), payload.end());
                corpus->destinations.push_back(r.decoded->DestinationCall);
            }
        } sink;
        sink.corpus = &corpus;
        FixedClock clock{};
        Receiver receiver(clock, {.report = {}, .decode = true, .buildReports = true, .readLogTimes = true, .json = false, .reportText = false});
        receiver.Feed(bytes, sink);
    }
    std::system(("rm -rf " + std::string(folder)).c_str());
    return corpus;
}

// The traffic of the channel, frame by frame.
class Channel {
public:
    explicit Channel(const Corpus& corpus) : corpus_(corpus), random_(11)
    {
        static const char* const kPrefixes[] = {"N", "K", "W", "DL", "OH", "G", "VK", "JA"};
        for (int i = 0; i < 2000; ++i) {
            std::string call = kPrefixes[i % 8];
            call += char('0' + i % 10);
            for (int n = i / 10, k = 0; k < 3 && call.size() < 6; ++k, n /= 26)
                call += char('A' + n % 26);
            stations_.push_back({call, int(i % 16 == 0 ? 0 : i % 16)});
        }
    }

    std::string Next(std::size_t i)
    {
        const Ax25Address& from = stations_[random_() % stations_.size()];
        if (i % 20 == 19) {  // connected mode: an I frame or an RR
            const Ax25Address& to = stations_[random_() % stations_.size()];
            if (i % 40 == 19)
                return test::Kiss({to, from, {}, 0x21, std::nullopt, ""});
            return test::Kiss({to, from, {}, std::uint8_t((i % 8) << 1), 0xF0, "Good evening, this is frame " + std::to_string(i)});
        }
        static const std::vector<std::vector<Ax25Address>> kPaths = {
            {},
            {{"WIDE1", 1}},
            {{"WIDE1", 1}, {"WIDE2", 1}},
            {{"WIDE2", 2}},
            {{"DB0ABC", 0, true}, {"WIDE2", 1}},
            {{"RELAY", 0, true}, {"WIDE2", 0, true}},
        };
        const std::size_t p = random_() % corpus_.payloads.size();
        return test::Kiss({{corpus_.destinations[p]}, from, kPaths[random_() % kPaths.size()], 0x03, 0xF0, corpus_.payloads[p]},
                    i % 50 == 0 ? 0x10 : 0x00);
    }

private:
    const Corpus& corpus_;
    std::mt19937 random_;
    std::vector<Ax25Address> stations_;
};

// The frame in the receive buffer, as the assembler leaves it.
ReceiveState Received(std::string_view frame)
{
    ReceiveState rx;
    std::copy(frame.begin(), frame.end(), rx.RawFrame.begin() + 1);
    rx.RawFrameLength = static_cast<std::int16_t>(frame.size());
    return rx;
}

double Megabytes(double bytes) { return bytes / 1e6; }

}  // namespace

int main(int argc, char** argv)
{
    std::size_t frames = 1000000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::strtoul(argv[++i], nullptr, 10);

    const Corpus corpus = ReadCorpus(50000);
    if (corpus.payloads.empty()) {
        std::fprintf(stderr, "bench_list: no corpus from quillon-mkaprs\n");
        return 1;
    }
    Channel channel(corpus);

    PacketStore store;
    const long rssBefore = ResidentKilobytes();
    const double cpuBefore = CpuSeconds();
    double making = 0;  // CPU of the channel's frames, not the store's
    std::size_t bytes = 0;
    const auto start = std::chrono::system_clock::time_point(std::chrono::sys_days(std::chrono::December / 7 / 2026));
    for (std::size_t i = 0; i < frames; ++i) {
        const double t0 = CpuSeconds();
        const ReceiveState frame = Received(channel.Next(i));
        making += CpuSeconds() - t0;
        bytes += std::size_t(frame.RawFrameLength);
        store.Append(frame, start + std::chrono::milliseconds(i * 350));
    }
    const double appendCpu = CpuSeconds() - cpuBefore - making;
    const long rssAfter = ResidentKilobytes();
    std::printf("%s frames, %s bytes as received (%.1f a frame); held %s, dropped %s\n", Grouped(double(frames)).c_str(),
                Grouped(double(bytes)).c_str(), double(bytes) / double(frames), Grouped(double(store.Size())).c_str(),
                Grouped(double(store.Dropped())).c_str());
    std::printf("store: %.1f MB accounted (%.1f bytes a frame), resident set grew by %.1f MB\n",
                Megabytes(double(store.HeldBytes())), double(store.HeldBytes()) / double(frames),
                double(rssAfter - rssBefore) / 1e3);
    std::printf("adding a frame: %.2f us CPU\n", appendCpu / double(frames) * 1e6);
    Result("list: store memory at " + Grouped(double(frames)) + " frames (accounted)",
           Grouped(Megabytes(double(store.HeldBytes())), 1) + " MB", "<= 100 MB",
           Verdict(store.HeldBytes() <= 100'000'000));
    Result("list: resident set growth over the frames", Grouped(double(rssAfter - rssBefore) / 1e3, 1) + " MB",
           "<= 100 MB", Verdict(rssAfter - rssBefore <= 100'000));
    Result("list: CPU to add a frame", Grouped(appendCpu / double(frames) * 1e6, 2) + " us", "-", "-");

    const char* const kFilters[] = {
        "from:N0*",
        "from:DL1* -type:I",
        "aprs:message",
        "via:WIDE2* port:0",
        "evening",
        "-aprs:position -aprs:weather hello",
    };
    for (const char* text : kFilters) {
        const PacketFilter filter = *ParsePacketFilter(text).filter;
        Stopwatch watch;
        const double cpu = CpuSeconds();
        const std::vector<std::uint32_t> rows = store.Select(filter);
        const double seconds = CpuSeconds() - cpu;
        std::printf("filter %-40s %9s rows in %.3f s CPU (%.3f s)\n", text, Grouped(double(rows.size())).c_str(), seconds,
                    watch.Seconds());
        Result(std::string("list: filter ") + text, Grouped(seconds * 1e3) + " ms CPU", "< 1 s", Verdict(seconds < 1));
    }

    const std::vector<std::uint32_t> all = store.Select({});
    const struct { PacketColumn column; bool descending; } kSorts[] = {
        {PacketColumn::Time, true}, {PacketColumn::From, false}, {PacketColumn::Type, false}, {PacketColumn::Summary, false}};
    for (const auto& s : kSorts) {
        std::vector<std::uint32_t> rows = all;
        Stopwatch watch;
        const double cpu = CpuSeconds();
        store.Sort(rows, s.column, s.descending);
        const double seconds = CpuSeconds() - cpu;
        const std::string what = "list: sort by " + std::string(PacketColumnTitle(s.column));
        std::printf("%-40s %.3f s CPU (%.3f s)\n", what.c_str(), seconds, watch.Seconds());
        Result(what, Grouped(seconds * 1e3) + " ms CPU", "-", "-");
    }

    // A view paints the rows in sight: the texts of 40 rows side by side,
    // from anywhere in the list (the first of them unpacks its chunk).
    std::mt19937 random(5);
    const int kScreens = 500, kRowsInSight = 40;
    std::size_t characters = 0;
    const double cpu = CpuSeconds();
    for (int i = 0; i < kScreens; ++i) {
        const std::size_t first = random() % (store.Size() - kRowsInSight);
        for (std::size_t row = first; row < first + kRowsInSight; ++row)
            for (const std::string& text : store.Texts(row))
                characters += text.size();
    }
    const double perScreen = (CpuSeconds() - cpu) / kScreens;
    std::printf("texts of 40 rows in sight: %.2f ms CPU (%.0f characters a row)\n", perScreen * 1e3,
                double(characters) / kScreens / kRowsInSight);
    Result("list: texts of 40 rows in sight", Grouped(perScreen * 1e3, 2) + " ms CPU", "-", "-");
    return 0;
}
