#include "command_line.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app.h"

namespace quillon {

namespace {

void Write(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

}  // namespace

CommandLine::CommandLine(std::string_view name, std::string_view help, std::string_view usage)
    : name_(name), help_(help), usage_(usage.empty() ? help : usage)
{
}

void CommandLine::HandleStandardOption(std::string_view arg) const
{
    if (arg == "--help") {
        Write(stdout, help_);
    } else if (arg == "--version") {
        Write(stdout, name_);
        std::printf(" %s\n", kVersionText);
    } else {
        return;
    }
    std::exit(0);
}

void CommandLine::UnknownOption(std::string_view arg) const { Refuse("unknown option " + std::string(arg)); }

void CommandLine::Refuse(std::string_view why) const
{
    Write(stderr, name_);
    Write(stderr, ": ");
    Write(stderr, why);
    Write(stderr, "\n");
    Misuse();
}

void CommandLine::Misuse() const
{
    Write(stderr, usage_);
    std::exit(2);
}

}  // namespace quillon
