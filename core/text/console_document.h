// The console as a document: its whole history (a ConsoleText) and the
// reports that go into it, told to whoever shows it.
//
// Whoever writes to the console (the main window with the station's
// reports, a log window with the reports of an old log, the statistics
// window, the tests) adds through here, and only here; the views read the
// text and hear what was added. A report is the runs of one frame report,
// added as one; reports added while a Batch is open are told once, when it
// closes, so that a log read back a slice at a time is shown once a slice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "console.h"
#include "console_text.h"

namespace quillon {

class ConsoleDocument {
public:
    // What was added since the last time it was told.
    struct Added {
        std::uint64_t reports = 0;
        LineNumber firstChanged;  // the line that was open before them: it took their first text
    };
    // Hears what happens to the document; added with Watch, and must be
    // taken off with Unwatch before it goes.
    class Listener {
    public:
        virtual void LinesAdded(const Added& added) = 0;
        // The text was emptied.
        virtual void Cleared() = 0;

    protected:
        ~Listener() = default;
    };

    explicit ConsoleDocument(std::size_t memoryBudget = ConsoleText::kMemoryBudget) : text_(memoryBudget) {}
    ConsoleDocument(const ConsoleDocument&) = delete;
    ConsoleDocument& operator=(const ConsoleDocument&) = delete;

    // One report's runs at the end (CR, LF and CR LF in them start a new
    // line). A report that adds no text is no report.
    void AddReport(std::span<const ConsoleRun> runs);
    // One run, as a report of its own.
    void AddText(std::string_view text, std::uint32_t colour);

    // While one lives, the reports added are told together when the last
    // one goes.
    class Batch {
    public:
        explicit Batch(ConsoleDocument& document) : document_(document) { ++document_.batches_; }
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        ConsoleDocument& document_;
    };

    // Forgets the whole history and gives its memory back to the system, not
    // only to the heap.
    void Clear();

    const ConsoleText& Text() const { return text_; }
    // How much of the history stays in memory before the rest goes to the
    // temporary file (ConsoleText::SetMemoryBudget).
    void SetMemoryBudget(std::size_t bytes) { text_.SetMemoryBudget(bytes); }

    void Watch(Listener& listener) { listeners_.push_back(&listener); }
    void Unwatch(Listener& listener);

private:
    void Tell();

    ConsoleText text_;
    int batches_ = 0;
    Added waiting_;  // reports added in a batch, not yet told
    std::vector<Listener*> listeners_;
};

}  // namespace quillon
