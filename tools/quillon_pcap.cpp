// quillon-pcap: converts a raw KISS log (.kss) into a pcap file of link type
// 202 (LINKTYPE_AX25_KISS) that Wireshark and tshark dissect as KISS + AX.25.
// The conversion itself lives in tools/kiss_to_pcap.h.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "kiss_to_pcap.h"
#include "pcap_writer.h"

using namespace quillon;

namespace {

constexpr std::size_t kReadBlock = 1 << 20;

constexpr const char* kUsage =
    "usage: quillon-pcap IN.kss OUT.pcap\n"
    "Converts a raw KISS log of Quillon into a pcap file (link type 202, AX.25 with\n"
    "KISS header) for Wireshark or tshark. Each frame becomes one packet, un-escaped,\n"
    "its KISS command byte first. Packets are stamped with the times of the log's\n"
    "time frames (TIMEFRAMES=YES), or with the log's modification time when it has\n"
    "none. IN or OUT may be - for standard input or output.\n"
    "\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

struct Files {
    const char* in = nullptr;
    const char* out = nullptr;
};

[[noreturn]] void Fail(const std::string& what, const char* name, int error)
{
    std::fprintf(stderr, "quillon-pcap: %s %s: %s\n", what.c_str(), name, std::strerror(error));
    std::exit(1);
}

bool IsDash(const char* name) { return std::strcmp(name, "-") == 0; }

Files ParseArguments(int argc, char** argv)
{
    const CommandLine commandLine("quillon-pcap", kUsage);
    std::vector<const char*> names;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnd)
            commandLine.HandleStandardOption(arg);
        if (!optionsEnd && arg == "--")
            optionsEnd = true;
        else if (!optionsEnd && arg.size() > 1 && arg[0] == '-')
            commandLine.UnknownOption(arg);
        else
            names.push_back(argv[i]);
    }
    if (names.size() != 2)
        commandLine.Misuse();
    return {names[0], names[1]};
}

// The input's modification time: the time of every frame of a log without
// time frames.
std::chrono::system_clock::time_point ModificationTime(std::FILE* in)
{
    using namespace std::chrono;
    struct stat st {};
    if (::fstat(::fileno(in), &st) != 0)
        return system_clock::now();
    return system_clock::time_point{
        duration_cast<system_clock::duration>(seconds{st.st_mtim.tv_sec} + nanoseconds{st.st_mtim.tv_nsec})};
}

// Refuses to write over the log being read.
void CheckNotSameFile(std::FILE* in, const Files& files)
{
    struct stat input {
    }, output{};
    if (IsDash(files.out) || ::fstat(::fileno(in), &input) != 0 || ::stat(files.out, &output) != 0)
        return;
    if (input.st_dev == output.st_dev && input.st_ino == output.st_ino) {
        std::fprintf(stderr, "quillon-pcap: %s is the input file; not writing over it\n", files.out);
        std::exit(1);
    }
}

// Reads the whole log and writes the pcap file; the errno of a failed read
// (negated) or write, else 0.
int Convert(std::FILE* in, std::FILE* out, std::size_t& records)
{
    KissToPcap converter(ModificationTime(in));
    std::string pcap = PcapFileHeader(kLinkTypeAx25Kiss);
    std::vector<std::uint8_t> buffer(kReadBlock);
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        converter.Feed(buffer.data(), count, pcap);
        if (std::fwrite(pcap.data(), 1, pcap.size(), out) != pcap.size())
            return errno != 0 ? errno : EIO;
        pcap.clear();
    }
    if (std::ferror(in))
        return -(errno != 0 ? errno : EIO);
    if (!pcap.empty() && std::fwrite(pcap.data(), 1, pcap.size(), out) != pcap.size())
        return errno != 0 ? errno : EIO;
    records = converter.Records();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const Files files = ParseArguments(argc, argv);
    std::FILE* in = IsDash(files.in) ? stdin : std::fopen(files.in, "rb");
    if (in == nullptr)
        Fail("cannot read", files.in, errno);
    CheckNotSameFile(in, files);
    std::FILE* out = IsDash(files.out) ? stdout : std::fopen(files.out, "wb");
    if (out == nullptr)
        Fail("cannot write", files.out, errno);

    // A half-written pcap file is removed; a device or a pipe is left alone.
    struct stat st {};
    const bool removable = !IsDash(files.out) && ::fstat(::fileno(out), &st) == 0 && S_ISREG(st.st_mode);
    std::size_t records = 0;
    int error = Convert(in, out, records);
    if (error == 0 && (out == stdout ? std::fflush(out) : std::fclose(out)) != 0)
        error = errno != 0 ? errno : EIO;
    if (error != 0) {
        if (removable)
            std::remove(files.out);
        if (error < 0)
            Fail("cannot read", IsDash(files.in) ? "standard input" : files.in, -error);
        Fail("cannot write", IsDash(files.out) ? "standard output" : files.out, error);
    }
    if (records == 0)
        std::fprintf(stderr, "quillon-pcap: no KISS frames in %s\n", files.in);
    return 0;
}
