// quillon-dump: prints the frame reports of raw KISS logs exactly as the
// program's console shows them, one console line per output line, or (with
// --json) the lines of the JSON Lines log the program writes with
// JSONFILE=YES, or (with --tnc2) the frames in the TNC2 text form APRS tools
// read, or (with --list) the rows of the window's packet list, which
// --filter narrows as the list's filter box does.
//
// A raw log (.kss) written with TIMEFRAMES=YES has a time frame in front of
// every frame; its time becomes the header timestamp of the frame behind it.
// Frames without one are stamped with the moment they are decoded.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/receiver.h"
#include "decoder/frame_aprs.h"
#include "packets/packet_filter.h"
#include "packets/packet_store.h"
#include "terminal_text.h"
#include "text/codepage.h"

using namespace quillon;

namespace {

constexpr std::size_t kReadBlock = 1 << 20;
constexpr std::size_t kFlushAt = 1 << 18;

constexpr const char* kUsage =
    "usage: quillon-dump [--raw] [--json] [--tnc2] [--list [--filter TERMS]] [--aprs]\n"
    "                    [--color=auto|always|never] [FILE...]\n"
    "Prints the frames of raw KISS logs (.kss) as the Quillon console reports them.\n"
    "With no FILE, or with FILE -, reads standard input.\n"
    "\n"
    "  --raw           show every frame as received instead of decoding its AX.25 header\n"
    "  --json          print one JSON object per frame, the lines of Quillon's .jsonl log\n"
    "  --tnc2          print one line per frame, SRC>DST,DIGI*:payload, as APRS tools read it\n"
    "  --list          print one line per frame, the columns of Quillon's packet list separated\n"
    "                  by tabs: time, port, from, to, via, type, PID, length, summary, text\n"
    "  --filter TERMS  with --list, only the frames the list's filter lets through, e.g.\n"
    "                  'from:N0CALL* -type:I aprs:message', 'via:WIDE2* port:1', 'hello'\n"
    "  --aprs          add what each APRS packet says to its report, after the address line\n"
    "  --color=WHEN    colour the output: auto (on a terminal; the default), always, never\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n";

struct Options {
    bool decode = true;
    bool json = false;
    bool tnc2 = false;
    bool aprs = false;
    bool list = false;
    PacketFilter filter;
    bool colour = false;
    std::vector<const char*> files;
};

// Collects the output and writes it in large blocks.
class Output {
public:
    Output() { text_.reserve(kFlushAt + 4096); }
    ~Output() { Flush(); }
    std::string& Text() { return text_; }
    void FlushIfFull()
    {
        if (text_.size() >= kFlushAt)
            Flush();
    }
    void Flush()
    {
        std::fwrite(text_.data(), 1, text_.size(), stdout);
        text_.clear();
    }

private:
    std::string text_;
};

// One file's byte stream through the receive pipeline to the terminal.
class Dumper final : private ReceiveSink {
public:
    Dumper(const Options& options, Output& output)
        : options_(options),
          output_(output),
          receiver_(RealClock(), {.report = {.aprs = options.aprs},
                                  .decode = options.decode || options.tnc2 || options.list,
                                  .buildReports = true,
                                  .readLogTimes = true,
                                  .json = options.json && !options.list,
                                  .reportText = !options.json && !options.tnc2 && !options.list})
    {
    }

    void Begin() { receiver_.Reset(); }

    void Feed(const std::uint8_t* bytes, std::size_t count)
    {
        receiver_.Feed(std::string_view(reinterpret_cast<const char*>(bytes), count), *this);
        if (options_.list)
            PrintListed();
    }

private:
    // The rows added since the last call that the filter lets through; the
    // store starts afresh now and then, as nothing is shown twice.
    void PrintListed()
    {
        for (const std::uint32_t row : list_.Select(options_.filter, listed_)) {
            output_.Text().append(Windows1252ToUtf8(PacketListLine(list_.Texts(row)))).push_back('\n');
            output_.FlushIfFull();
        }
        listed_ = list_.Size();
        if (listed_ >= kListRows) {
            list_.Clear();
            listed_ = 0;
        }
    }

    void Report(const FrameReport& report) override
    {
        if (options_.list) {
            list_.Append(receiver_.State(), report.time, report.decoded ? &*report.decoded : nullptr);
            return;
        }
        if (options_.json)
            return;
        if (options_.tnc2) {
            if (report.decoded && HeaderIsWhole(*report.decoded))
                output_.Text().append(Tnc2Line(*report.decoded)).push_back('\n');
            output_.FlushIfFull();
            return;
        }
        for (const ConsoleRun& run : report.console)
            AppendTerminalText(output_.Text(), run, options_.colour);
        output_.FlushIfFull();
    }

    void JsonLog(std::string_view line) override
    {
        output_.Text().append(line);
        output_.FlushIfFull();
    }

    static constexpr std::size_t kListRows = 100000;

    const Options& options_;
    Output& output_;
    Receiver receiver_;
    PacketStore list_;
    std::size_t listed_ = 0;
};

// Decodes one file, or standard input for "-"; the errno of a file that
// cannot be read, else 0.
int DumpFile(const char* name, Dumper& dumper, std::vector<std::uint8_t>& buffer)
{
    const bool standardInput = std::strcmp(name, "-") == 0;
    std::FILE* in = standardInput ? stdin : std::fopen(name, "rb");
    if (in == nullptr)
        return errno;
    dumper.Begin();
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
        dumper.Feed(buffer.data(), count);
    const int error = std::ferror(in) ? (errno != 0 ? errno : EIO) : 0;
    if (!standardInput)
        std::fclose(in);
    return error;
}

// Parses the command line; exits for --help, --version and usage errors.
Options ParseOptions(int argc, char** argv)
{
    const CommandLine commandLine("quillon-dump", kUsage);
    Options options;
    std::string_view when = "auto";
    std::optional<std::string_view> filter;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnd || arg == "-" || !arg.starts_with("--")) {
            options.files.push_back(argv[i]);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--raw") {
            options.decode = false;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--tnc2") {
            options.tnc2 = true;
        } else if (arg == "--aprs") {
            options.aprs = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--filter" || arg.starts_with("--filter=")) {
            if (arg == "--filter" && i + 1 == argc)
                commandLine.Misuse();
            filter = arg == "--filter" ? std::string_view(argv[++i]) : arg.substr(9);
        } else if (arg.starts_with("--color=")) {
            when = arg.substr(8);
        } else {
            commandLine.HandleStandardOption(arg);
            commandLine.UnknownOption(arg);
        }
    }
    if (when != "auto" && when != "always" && when != "never") {
        std::fprintf(stderr, "quillon-dump: --color takes auto, always or never\n");
        std::exit(2);
    }
    if (filter) {
        if (!options.list) {
            std::fprintf(stderr, "quillon-dump: --filter goes with --list\n");
            std::exit(2);
        }
        FilterParse parsed = ParsePacketFilter(*filter);
        if (!parsed.filter) {
            std::fprintf(stderr, "quillon-dump: --filter: %s\n", parsed.error.c_str());
            std::exit(2);
        }
        options.filter = std::move(*parsed.filter);
    }
    options.colour = when == "always" || (when == "auto" && ::isatty(STDOUT_FILENO) == 1);
    if (options.files.empty())
        options.files.push_back("-");
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    Output output;
    Dumper dumper(options, output);
    std::vector<std::uint8_t> buffer(kReadBlock);
    int status = 0;
    for (const char* name : options.files) {
        if (const int error = DumpFile(name, dumper, buffer); error != 0) {
            output.Flush();
            std::fflush(stdout);
            std::fprintf(stderr, "quillon-dump: cannot read %s: %s\n",
                         std::strcmp(name, "-") == 0 ? "standard input" : name, std::strerror(error));
            status = 1;
        }
    }
    output.Flush();
    return std::fflush(stdout) == 0 ? status : 1;
}
