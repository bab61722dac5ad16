#include "tnc_script.h"

#include "text/lines.h"

namespace quillon {

std::string ScriptNotSentLine(std::string_view fileName) { return std::string(fileName) + " not sent: KISS over TCP"; }

std::string TranslateScriptLine(std::string_view line)
{
    std::string bytes;
    bytes.reserve(line.size() + 1);
    for (char c : line) {
        if (c == '^')
            bytes += '\x1B';
        else if (c == '$')
            bytes += "\xC0\xFF\xC0";
        else
            bytes += c;
    }
    bytes += '\r';
    return bytes;
}

std::string ScriptRefusedLine(std::string_view fileName)
{
    return std::string(fileName) + ": not sent, the port's queue is full";
}

void RunTncScript(std::string_view fileName, std::string_view text, std::string_view refusal,
                  const std::function<bool()>& portOpen, const std::function<bool(std::string_view bytes)>& output,
                  const AppendStatusLine& appendStatus)
{
    appendStatus("read " + std::string(fileName));
    if (!refusal.empty())
        appendStatus(refusal);
    std::string bytes;
    for (std::string_view line : SplitLines(text))
        if (!line.empty() && line[0] != '#')
            bytes += TranslateScriptLine(line);
    // Nothing waits and nothing is read back: the whole script is queued at
    // the port in one go, or, when its queue cannot take it all, not at all:
    // half a script would leave the TNC in a state nobody chose.
    if (!bytes.empty() && portOpen() && !output(bytes))
        appendStatus(ScriptRefusedLine(fileName));
    appendStatus("done");
}

}  // namespace quillon
