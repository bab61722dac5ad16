// The TNC command scripts "tnc_init.txt" and "tnc_exit.txt": text files in
// the program directory whose lines are sent to the input port. The program
// reads them (see small_file.h); here they are only text.
//
// A line is translated character by character: "^" becomes ESC (0x1B), "$"
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

// The line for a script that the open port would not take whole (its queue
// too full): "tnc_init.txt: not sent, the port's queue is full".
std::string ScriptRefusedLine(std::string_view fileName);

// Sends a script read from `fileName`: appends "read <fileName>" and, when
// the file was there but not read, `refusal` (why); then, while `portOpen`
// says the port is open, hands the bytes of all its command lines to
// `output` in one call, which sends them all or none (a queue that cannot
// take them all refuses them, and that is said); last it appends "done". An
// empty text or a closed port sends nothing; the two messages appear all
// the same.
void RunTncScript(std::string_view fileName, std::string_view text, std::string_view refusal,
                  const std::function<bool()>& portOpen, const std::function<bool(std::string_view bytes)>& output,
                  const AppendStatusLine& appendStatus);

}  // namespace quillon
