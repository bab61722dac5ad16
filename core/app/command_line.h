// What the program and its command-line tools share on their command line:
// --help, --version, and the answer to an option they do not know. Each
// walks its own arguments and hands these cases here:
//
//   $ quillon-pcap --version
//   quillon-pcap 8.5                                       (status 0)
//   $ quillon-pcap --bogus
//   quillon-pcap: unknown option --bogus
//   usage: quillon-pcap IN.kss OUT.pcap ...                (status 2)
#pragma once

#include <string_view>

namespace quillon {

class CommandLine {
public:
    // `name` starts every message; `help` is the text of --help, its first
    // line the usage line; `usage` is what a misuse prints to standard error
    // (the whole help text when empty).
    CommandLine(std::string_view name, std::string_view help, std::string_view usage = {});

    // --help prints the help text and --version "NAME VERSION" to standard
    // output, and the program ends with status 0; any other argument returns.
    void HandleStandardOption(std::string_view arg) const;

    // "NAME: unknown option ARG", then the usage, to standard error; status 2.
    [[noreturn]] void UnknownOption(std::string_view arg) const;

    // "NAME: WHY", then the usage, to standard error; status 2.
    [[noreturn]] void Refuse(std::string_view why) const;

    // The usage alone to standard error, for arguments of the wrong number or
    // kind; status 2.
    [[noreturn]] void Misuse() const;

private:
    std::string_view name_;
    std::string_view help_;
    std::string_view usage_;
};

}  // namespace quillon
