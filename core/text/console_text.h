// The console's text: every line ever written, in little memory, append-only.
//
// The text is kept as the program writes it, 8-bit (Windows-1252), with one
// line break character ('\n') where the writer had CR, LF or CR LF, and a
// colour for every character as a list of the positions where the colour
// changes. It is cut into chunks of about 64 KB at line ends; every full chunk
// is compressed with LZ4 (the text of frame reports shrinks to about a third)
// and unpacked again only while its lines are looked at or searched, a few
// chunks at a time. A position is a character's offset from the start of the
// whole text; positions never change, since text is only ever added. The
// reading calls change nothing that is seen (only which chunks are kept
// unpacked), so a reader holds the text const.
//
// The compressed chunks are held in memory up to a budget; beyond it the
// oldest go to an unlinked temporary file (in TMPDIR, else /tmp) and are read
// back when they are looked at, searched or copied, so that a history of
// months costs disk, not memory. The newest stay in memory: they are the ones
// looked at most. When there is no temporary file to be had or a write to it
// fails (a full disk), chunks stay in memory, as if there were no budget,
// until a later write goes through: the history is never cut short, and
// FileError says why, for the window to tell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console_place.h"

namespace quillon {

class ConsoleText {
public:
    // A colour change: from `offset` on (counted within the line's chunk),
    // the text has `colour`.
    struct ColourChange {
        std::uint32_t offset;
        std::uint32_t colour;
    };
    // One line, without its line break. Valid until the next call on the
    // text.
    struct Line {
        TextPosition start;  // of its first character
        std::string_view text;
        // The changes from the line's chunk, the first one at or before the
        // line's start; offsets are chunk offsets, `chunkStart` their base.
        std::span<const ColourChange> colours;
        TextPosition chunkStart;
    };

    // Compressed bytes held in memory before the oldest chunks go to a file.
    static constexpr std::size_t kMemoryBudget = std::size_t(32) << 20;

    explicit ConsoleText(std::size_t memoryBudget = kMemoryBudget);
    ~ConsoleText();
    ConsoleText(const ConsoleText&) = delete;
    ConsoleText& operator=(const ConsoleText&) = delete;

    // Adds text at the end. CR, LF and CR LF in `text` each end a line (a CR
    // at the end of one call and a LF at the start of the next are two).
    void Append(std::string_view text, std::uint32_t colour);
    // Forgets the whole text and closes the temporary file.
    void Clear();
    // Chunks beyond a smaller budget go to the file at once.
    void SetMemoryBudget(std::size_t bytes);

    // Characters in all, line breaks included; lines in all (one more than
    // the line breaks: the last line is the one being written, maybe empty).
    std::uint64_t Size() const { return open_.start + open_.text.size(); }
    std::uint64_t LineCount() const { return open_.firstLine + open_.lineStarts.size(); }
    std::size_t LongestLine() const { return longestLine_; }
    // Behind the last character.
    TextPosition End() const { return TextPosition(Size()); }

    Line LineAt(LineNumber line) const;
    LineNumber LineOf(TextPosition position) const;
    // The characters from `from` to `to`, line breaks as '\n'.
    std::string Between(TextPosition from, TextPosition to) const;

    // The first place at or behind `from` (forward) or the last place before
    // `from` (backward) where `needle` stands, letters of either case alike;
    // the search goes round the end to the other side. A needle is searched
    // for within lines only.
    std::optional<TextPosition> Find(std::string_view needle, TextPosition from, bool forward) const;

    // Bytes held in memory for the text, the compressed chunks there and
    // the unpacked copies.
    std::size_t HeldBytes() const;
    // Bytes of compressed chunks in the temporary file.
    std::uint64_t SpilledBytes() const { return fileSize_; }
    // Why the temporary file could not be made or written the last time a
    // chunk was to go there (an errno value: ENOSPC, ENOENT, EROFS...); 0
    // while it takes them, or before any had to go.
    int FileError() const { return fileError_; }

    // Bytes a compressed chunk is cut at (at the next line end); for tests.
    static constexpr std::size_t kChunkBytes = 64 * 1024;

private:
    struct Chunk {
        std::uint64_t start = 0;      // position of its first character
        std::uint64_t firstLine = 0;  // number of its first line
        std::uint32_t textSize = 0;
        std::uint32_t changes = 0;
        std::uint32_t packedSize = 0;
        std::unique_ptr<char[]> packed;  // null while the chunk is in the file
        std::uint64_t fileOffset = 0;
    };
    // A chunk as text: the open one being written, or an unpacked copy.
    struct Unpacked {
        std::size_t chunk = 0;
        std::uint64_t start = 0;
        std::uint64_t firstLine = 0;
        std::string text;
        std::vector<ColourChange> colours;
        std::vector<std::uint32_t> lineStarts;
    };

    void Seal();
    // Moves the oldest chunks in memory to the file while they are over the
    // budget; stops at the first failure (the rest stay in memory).
    void Spill();
    bool WriteToFile(Chunk& chunk);
    // The chunk whose `field` is the last at or before `value`; the open one
    // from `open` on.
    std::size_t ChunkWhere(std::uint64_t Chunk::*field, std::uint64_t value, std::uint64_t open) const;
    std::size_t ChunkOfLine(std::uint64_t line) const;
    std::size_t ChunkOfPosition(std::uint64_t position) const;
    const Unpacked& Open(std::size_t chunk) const;  // chunks_.size() is the open one
    // Unpacks chunk `index` into `text` (and its colour changes); a chunk
    // that cannot be read back from the file comes out as blank lines.
    void Unpack(std::size_t index, std::string& text, std::vector<ColourChange>* colours) const;
    std::optional<std::uint64_t> FindIn(std::size_t chunk, std::string_view folded, std::uint64_t from,
                                        std::uint64_t to, bool last) const;

    std::vector<Chunk> chunks_;
    Unpacked open_;
    mutable std::list<Unpacked> recent_;  // unpacked copies, the latest used first
    std::uint32_t colour_ = 0;
    std::size_t lineLength_ = 0;
    std::size_t longestLine_ = 0;
    mutable std::string scratch_;  // a chunk being packed, or unpacked to be searched
    mutable std::string lowered_;  // the part of a chunk being searched, in lower case
    std::size_t budget_;
    std::size_t inMemory_ = 0;       // compressed bytes of the chunks in memory
    std::size_t firstInMemory_ = 0;  // the chunks before it are in the file
    int file_ = -1;
    int fileError_ = 0;
    std::uint64_t fileSize_ = 0;
    mutable std::string readBack_;  // a compressed chunk read from the file
};

// The line that says the history stays in memory, for FileError's value:
// "console: no temporary file (No space left on device), history kept in
// memory".
std::string ConsoleFileLine(int error);

// Windows-1252 letters in lower case, everything else as it is.
std::string FoldCase(std::string_view text);

}  // namespace quillon
