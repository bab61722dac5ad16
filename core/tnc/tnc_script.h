// The TNC command scripts "tnc_init.txt" and "tnc_exit.txt": text files in
// the program directory whose lines are sent to the input port.
//
// A line is sent character by character: "^" becomes ESC (0x1B), "$"
// becomes FEND, 0xFF, FEND (the KISS command that takes a TNC out of KISS
// mode), any other byte goes as it is; a CR follows the line. Empty lines
// and lines with "#" in the first column are skipped; a blank before "#"
// makes the line a command like any other.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "text/console.h"

namespace quillon {

inline constexpr std::string_view kTncInitScript = "tnc_init.txt";
inline constexpr std::string_view kTncExitScript = "tnc_exit.txt";

// Said instead of sending a script to a KISS server on the network, which
// takes KISS frames only: "tnc_init.txt not sent: KISS over TCP".
std::string ScriptNotSentLine(std::string_view fileName);

// The bytes one command line stands for, CR included. "$" -> C0 FF C0 0D.
std::string TranslateScriptLine(std::string_view line);

// Sends the script programDir + "/" + fileName: appends "read <fileName>",
// hands every byte of every command line to `output` in a call of its own
// while `portOpen` says the port is open, and appends "done". A byte that
// `output` refuses is skipped. A missing, unreadable or empty file, or a
// closed port, sends nothing; the two messages appear all the same.
void RunTncScript(const std::string& programDir, std::string_view fileName,
                  const std::function<bool()>& portOpen,
                  const std::function<bool(std::string_view bytes)>& output,
                  const AppendStatusLine& appendStatus);

}  // namespace quillon
