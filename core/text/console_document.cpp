#include "console_document.h"

#include <malloc.h>

#include <algorithm>

namespace quillon {

void ConsoleDocument::AddReport(std::span<const ConsoleRun> runs)
{
    const LineNumber open(text_.LineCount() - 1);
    const std::uint64_t sizeBefore = text_.Size();
    for (const ConsoleRun& run : runs)
        text_.Append(run.text, run.colour);
    if (text_.Size() == sizeBefore)
        return;
    if (waiting_.reports++ == 0)
        waiting_.firstChanged = open;
    if (batches_ == 0)
        Tell();
}

void ConsoleDocument::AddText(std::string_view text, std::uint32_t colour)
{
    const ConsoleRun run{std::string(text), colour};
    AddReport(std::span(&run, 1));
}

ConsoleDocument::Batch::~Batch()
{
    if (--document_.batches_ == 0 && document_.waiting_.reports > 0)
        document_.Tell();
}

void ConsoleDocument::Tell()
{
    const Added added = waiting_;
    waiting_ = {};
    for (Listener* listener : listeners_)
        listener->LinesAdded(added);
}

void ConsoleDocument::Clear()
{
    text_.Clear();
    waiting_ = {};
    ::malloc_trim(0);  // the freed chunks go back to the system, not only to the heap
    // A listener may ask the user something, and a window close and take its
    // view off meanwhile: each is told only while it is still there.
    const std::vector<Listener*> listeners = listeners_;
    for (Listener* listener : listeners)
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end())
            listener->Cleared();
}

void ConsoleDocument::Unwatch(Listener& listener)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), &listener), listeners_.end());
}

}  // namespace quillon
