// quillon-dump: prints the frame reports of raw KISS logs exactly as the
// program's console shows them, one console line per output line, or (with
// --json) the lines of the JSON Lines log the program writes with
// JSONFILE=YES, or (with --tnc2) the frames in the TNC2 text form APRS tools
// read.
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
#include "terminal_text.h"

using namespace quillon;

namespace {

constexpr std::size_t kReadBlock = 1 << 20;
constexpr std::size_t kFlushAt = 1 << 18;

constexpr const char* kUsage =
    "usage: quillon-dump [--raw] [--json] [--tnc2] [--aprs] [--color=auto|always|never] [FILE...]\n"
    "Prints the frames of raw KISS logs (.kss) as the Quillon console reports them.\n"
    "With no FILE, or with FILE -, reads standard input.\n"
    "\n"
    "  --raw           show every frame as received instead of decoding its AX.25 header\n"
    "  --json          print one JSON object per frame, the lines of Quillon's .jsonl log\n"
    "  --tnc2          print one line per frame, SRC>DST,DIGI*:payload, as APRS tools read it\n"
    "  --aprs          add what each APRS packet says to its report, after the address line\n"
    "  --color=WHEN    colour the output: auto (on a terminal; the default), always, never\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n";

struct Options {
    bool decode = true;
    bool json = false;
    bool tnc2 = false;
    bool aprs = false;
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
                                  .decode = options.decode || options.tnc2,
                                  .buildReports = true,
                                  .readLogTimes = true,
                                  .json = options.json,
                                  .reportText = !options.json && !options.tnc2})
    {
    }

    void Begin() { receiver_.Reset(); }

    void Feed(const std::uint8_t* bytes, std::size_t count)
    {
        receiver_.Feed(std::string_view(reinterpret_cast<const char*>(bytes), count), *this);
    }

private:
    void Report(const FrameReport& report) override
    {
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

    const Options& options_;
    Output& output_;
    Receiver receiver_;
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
