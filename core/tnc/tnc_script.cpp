#include "tnc/tnc_script.h"

#include "text/lines.h"

namespace quillon {

std::string ScriptNotSentLine(std::string_view fileName)
{
    return std::string(fileName) + " not sent: KISS over TCP";
}

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

void RunTncScript(const std::string& programDir, std::string_view fileName,
                  const std::function<bool()>& portOpen,
                  const std::function<bool(std::string_view bytes)>& output,
                  const AppendStatusLine& appendStatus)
{
    std::string text;
    if (!ReadWholeFile(programDir + "/" + std::string(fileName), text))
        text.clear();
    appendStatus("read " + std::string(fileName));
    for (std::string_view line : SplitLines(text)) {
        if (line.empty() || line[0] == '#' || !portOpen())
            continue;
        // Nothing waits and nothing is read back: the whole file is queued
        // at the port in one go, and a refused byte is simply passed over.
        for (char b : TranslateScriptLine(line))
            output(std::string_view(&b, 1));
    }
    appendStatus("done");
}

}  // namespace quillon
