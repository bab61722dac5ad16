#include "console_text.h"

#include <fcntl.h>
#include <lz4.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "console.h"
#include "lines.h"

namespace quillon {

namespace {

// Unpacked copies of chunks kept for looking at: a few chunks fill a window
// many times over.
constexpr std::size_t kUnpackedKept = 3;

// Windows-1252 puts most lower-case letters this far behind their capitals,
// as ASCII does: A-Z, and the accented capitals from 0xC0 (A grave) to 0xDE
// (thorn), but for 0xD7, the multiplication sign.
constexpr std::size_t kToLower = 'a' - 'A';
constexpr std::size_t kFirstAccented = 0xC0;
constexpr std::size_t kLastAccented = 0xDE;
constexpr std::size_t kTimesSign = 0xD7;

constexpr std::array<std::uint8_t, 256> kFold = [] {
    std::array<std::uint8_t, 256> t{};
    for (std::size_t i = 0; i < t.size(); ++i)
        t[i] = std::uint8_t(i);
    for (std::size_t c = 'A'; c <= 'Z'; ++c)
        t[c] = std::uint8_t(c + kToLower);
    for (std::size_t c = kFirstAccented; c <= kLastAccented; ++c)
        if (c != kTimesSign)
            t[c] = std::uint8_t(c + kToLower);
    // The rest stand where the code page found room: S, O, E and Z with their
    // marks (caron, ligature, caron), Y with diaeresis.
    t[0x8A] = 0x9A;
    t[0x8C] = 0x9C;
    t[0x8E] = 0x9E;
    t[0x9F] = 0xFF;
    return t;
}();

const char* Search(std::string_view haystack, std::string_view needle)
{
    return static_cast<const char*>(::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()));
}

// A file for the chunks beyond the memory budget that has no name, so that
// its disk space is returned when it is closed, even after a crash: made
// nameless (O_TMPFILE) where the file system can, else named and unlinked
// at once. -1 when none can be made.
int OpenUnlinkedFile()
{
    const char* env = std::getenv("TMPDIR");
    const std::string folder = env != nullptr && *env != '\0' ? env : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    std::string name = folder + "/quillon-console-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.c_str());
    return fd;
}

// All of `size` bytes through `io(done)`, a pread or pwrite of the bytes from
// `done` on, whatever it takes at a time; false on an error or the end of the
// file.
template <class Io>
bool Whole(std::size_t size, Io io)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = io(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

bool WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset)
{
    return Whole(size, [&](std::size_t done) { return ::pwrite(fd, data + done, size - done, off_t(offset + done)); });
}

bool ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset)
{
    return Whole(size, [&](std::size_t done) { return ::pread(fd, data + done, size - done, off_t(offset + done)); });
}

}  // namespace

std::string ConsoleFileLine(int error)
{
    return std::string("console: no temporary file (") + std::strerror(error) + "), history kept in memory";
}

std::string FoldCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(kFold[std::uint8_t(c)]);
    return out;
}

ConsoleText::ConsoleText(std::size_t memoryBudget) : budget_(memoryBudget) { Clear(); }

ConsoleText::~ConsoleText()
{
    if (file_ >= 0)
        ::close(file_);
}

void ConsoleText::SetMemoryBudget(std::size_t bytes)
{
    budget_ = bytes;
    Spill();
}

void ConsoleText::Clear()
{
    if (file_ >= 0)
        ::close(file_);
    file_ = -1;
    fileSize_ = 0;
    inMemory_ = 0;
    firstInMemory_ = 0;
    std::string().swap(readBack_);
    std::vector<Chunk>().swap(chunks_);
    recent_.clear();
    // Swapped with empty ones: assigning an empty string would keep the
    // buffer.
    std::string().swap(open_.text);
    std::vector<std::uint32_t>(1, 0).swap(open_.lineStarts);
    std::vector<ColourChange>(1, {0, colour_}).swap(open_.colours);
    open_.chunk = 0;
    open_.start = 0;
    open_.firstLine = 0;
    lineLength_ = 0;
    longestLine_ = 0;
    std::string().swap(scratch_);
    std::string().swap(lowered_);
}

void ConsoleText::Append(std::string_view text, std::uint32_t colour)
{
    if (text.empty())
        return;
    std::string& out = open_.text;
    if (colour != colour_) {
        colour_ = colour;
        if (open_.colours.back().offset == out.size())
            open_.colours.back().colour = colour;
        else
            open_.colours.push_back({std::uint32_t(out.size()), colour});
    }
    const std::vector<std::string_view> lines = SplitLines(text);
    const bool endsLine = text.back() == '\r' || text.back() == '\n';
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out.append(lines[i]);
        lineLength_ += lines[i].size();
        longestLine_ = std::max(longestLine_, lineLength_);
        if (i + 1 == lines.size() && !endsLine)
            break;
        out.push_back('\n');
        open_.lineStarts.push_back(std::uint32_t(out.size()));
        lineLength_ = 0;
    }
    if (out.size() >= kChunkBytes && out.back() == '\n')
        Seal();
}

void ConsoleText::Seal()
{
    // The text, then the colour changes, packed as one block.
    const std::size_t coloursSize = open_.colours.size() * sizeof(ColourChange);
    scratch_.assign(open_.text);
    scratch_.append(reinterpret_cast<const char*>(open_.colours.data()), coloursSize);
    std::string packed(std::size_t(LZ4_compressBound(int(scratch_.size()))), '\0');
    const int packedSize =
        LZ4_compress_default(scratch_.data(), packed.data(), int(scratch_.size()), int(packed.size()));
    if (packedSize <= 0)
        throw std::runtime_error("console text: compression failed");

    Chunk& chunk = chunks_.emplace_back();
    chunk.start = open_.start;
    chunk.firstLine = open_.firstLine;
    chunk.textSize = std::uint32_t(open_.text.size());
    chunk.changes = std::uint32_t(open_.colours.size());
    chunk.packed = std::make_unique<char[]>(std::size_t(packedSize));
    std::memcpy(chunk.packed.get(), packed.data(), std::size_t(packedSize));
    chunk.packedSize = std::uint32_t(packedSize);
    inMemory_ += chunk.packedSize;

    // The text ends in a line break: the empty line behind it is the first
    // line of the next chunk.
    open_.chunk = chunks_.size();
    open_.start += open_.text.size();
    open_.firstLine += open_.lineStarts.size() - 1;
    open_.text.clear();
    open_.lineStarts.assign(1, 0);
    open_.colours.assign(1, {0, colour_});
    scratch_.clear();
    Spill();
}

void ConsoleText::Spill()
{
    while (inMemory_ > budget_ && firstInMemory_ < chunks_.size()) {
        Chunk& chunk = chunks_[firstInMemory_];
        if (!WriteToFile(chunk))
            return;
        inMemory_ -= chunk.packedSize;
        ++firstInMemory_;
    }
}

bool ConsoleText::WriteToFile(Chunk& chunk)
{
    // Tried again at every chunk after a failure: a disk that was full may
    // have room again.
    errno = 0;
    if (file_ < 0)
        file_ = OpenUnlinkedFile();
    if (file_ < 0 || !WriteAt(file_, chunk.packed.get(), chunk.packedSize, fileSize_)) {
        fileError_ = errno != 0 ? errno : EIO;
        return false;
    }
    fileError_ = 0;
    chunk.fileOffset = fileSize_;
    fileSize_ += chunk.packedSize;
    chunk.packed.reset();
    return true;
}

void ConsoleText::Unpack(std::size_t index, std::string& text, std::vector<ColourChange>* colours) const
{
    const Chunk& chunk = chunks_[index];
    const std::size_t coloursSize = chunk.changes * sizeof(ColourChange);
    const char* packed = chunk.packed.get();
    bool ok = true;
    if (packed == nullptr) {
        readBack_.resize(chunk.packedSize);
        ok = ReadAt(file_, readBack_.data(), chunk.packedSize, chunk.fileOffset);
        packed = readBack_.data();
    }
    text.resize(chunk.textSize + coloursSize);
    ok = ok && LZ4_decompress_safe(packed, text.data(), int(chunk.packedSize), int(text.size())) == int(text.size());
    if (!ok) {
        // The file gave back something else (an I/O error): as many blank
        // lines as the chunk had, so that every position and line number
        // still holds.
        const std::uint64_t next = index + 1 < chunks_.size() ? chunks_[index + 1].firstLine : open_.firstLine;
        const std::size_t breaks = std::size_t(next - chunk.firstLine);
        text.assign(chunk.textSize - breaks, ' ');
        text.append(breaks, '\n');
        if (colours != nullptr)
            colours->assign(1, {0, colour::Black});
        return;
    }
    if (colours != nullptr) {
        colours->resize(chunk.changes);
        std::memcpy(colours->data(), text.data() + chunk.textSize, coloursSize);
    }
    text.resize(chunk.textSize);
}

const ConsoleText::Unpacked& ConsoleText::Open(std::size_t chunk) const
{
    if (chunk >= chunks_.size())
        return open_;
    for (auto it = recent_.begin(); it != recent_.end(); ++it) {
        if (it->chunk == chunk) {
            recent_.splice(recent_.begin(), recent_, it);
            return recent_.front();
        }
    }
    if (recent_.size() >= kUnpackedKept)
        recent_.pop_back();
    Unpacked& u = recent_.emplace_front();
    const Chunk& c = chunks_[chunk];
    u.chunk = chunk;
    u.start = c.start;
    u.firstLine = c.firstLine;
    Unpack(chunk, u.text, &u.colours);
    u.lineStarts.push_back(0);
    for (std::size_t i = 0; i + 1 < u.text.size(); ++i)
        if (u.text[i] == '\n')
            u.lineStarts.push_back(std::uint32_t(i + 1));
    return u;
}

std::size_t ConsoleText::ChunkWhere(std::uint64_t Chunk::*field, std::uint64_t value, std::uint64_t open) const
{
    if (value >= open)
        return chunks_.size();
    const auto it = std::upper_bound(chunks_.begin(), chunks_.end(), value,
                                     [field](std::uint64_t v, const Chunk& c) { return v < c.*field; });
    return std::size_t(it - chunks_.begin()) - 1;
}

std::size_t ConsoleText::ChunkOfLine(std::uint64_t line) const
{
    return ChunkWhere(&Chunk::firstLine, line, open_.firstLine);
}

std::size_t ConsoleText::ChunkOfPosition(std::uint64_t position) const
{
    return ChunkWhere(&Chunk::start, position, open_.start);
}

ConsoleText::Line ConsoleText::LineAt(LineNumber number) const
{
    const std::uint64_t line = std::min(number.value, LineCount() - 1);
    const Unpacked& u = Open(ChunkOfLine(line));
    const std::size_t index = std::size_t(line - u.firstLine);
    const std::size_t begin = u.lineStarts[index];
    const std::size_t end =
        index + 1 < u.lineStarts.size() ? u.lineStarts[index + 1] - 1 : u.text.size() - (&u == &open_ ? 0 : 1);
    const auto first = std::upper_bound(u.colours.begin(), u.colours.end(), begin,
                                        [](std::size_t o, const ColourChange& c) { return o < c.offset; }) -
                       1;
    return {TextPosition(u.start + begin), std::string_view(u.text).substr(begin, end - begin),
            std::span(first, u.colours.end()), TextPosition(u.start)};
}

LineNumber ConsoleText::LineOf(TextPosition place) const
{
    const std::uint64_t position = std::min(place.value, Size());
    const Unpacked& u = Open(ChunkOfPosition(position));
    const auto it = std::upper_bound(u.lineStarts.begin(), u.lineStarts.end(), position - u.start);
    return LineNumber(u.firstLine + std::uint64_t(it - u.lineStarts.begin()) - 1);
}

std::string ConsoleText::Between(TextPosition first, TextPosition last) const
{
    std::string out;
    std::uint64_t from = first.value;
    const std::uint64_t to = std::min(last.value, Size());
    out.reserve(from < to ? std::size_t(to - from) : 0);
    while (from < to) {
        const Unpacked& u = Open(ChunkOfPosition(from));
        const std::size_t begin = std::size_t(from - u.start);
        const std::size_t count = std::min<std::uint64_t>(u.text.size() - begin, to - from);
        out.append(u.text, begin, count);
        from += count;
    }
    return out;
}

std::optional<std::uint64_t> ConsoleText::FindIn(std::size_t chunk, std::string_view folded, std::uint64_t from,
                                                 std::uint64_t to, bool last) const
{
    if (from >= to)
        return std::nullopt;
    // A chunk already unpacked is searched where it is; any other is
    // unpacked into the scratch buffer, so that a search through the whole
    // text keeps no more unpacked than one chunk.
    std::string_view text;
    std::uint64_t start = 0;
    const auto cached =
        std::find_if(recent_.begin(), recent_.end(), [&](const Unpacked& u) { return u.chunk == chunk; });
    if (chunk == chunks_.size() || cached != recent_.end()) {
        const Unpacked& u = chunk == chunks_.size() ? open_ : *cached;
        text = u.text;
        start = u.start;
    } else {
        Unpack(chunk, scratch_, nullptr);
        text = scratch_;
        start = chunks_[chunk].start;
    }
    // Matches start before `to` and may run on behind it.
    const std::size_t begin = std::size_t(from - start);
    const std::size_t end = std::min<std::size_t>(text.size(), std::size_t(to - start) + folded.size() - 1);
    lowered_.resize(end - begin);
    std::transform(text.begin() + std::ptrdiff_t(begin), text.begin() + std::ptrdiff_t(end), lowered_.begin(),
                   [](char c) { return char(kFold[std::uint8_t(c)]); });
    const std::string_view lowered(lowered_);
    std::optional<std::uint64_t> found;
    for (std::size_t at = 0; at < lowered.size();) {
        const char* p = Search(lowered.substr(at), folded);
        if (p == nullptr || std::size_t(p - lowered.data()) >= to - from)
            break;
        at = std::size_t(p - lowered.data());
        found = from + at;
        if (!last)
            break;
        ++at;
    }
    return found;
}

std::optional<TextPosition> ConsoleText::Find(std::string_view needle, TextPosition place, bool forward) const
{
    if (needle.empty() || needle.find('\n') != std::string_view::npos || Size() == 0)
        return std::nullopt;
    const std::string folded = FoldCase(needle);
    const std::uint64_t from = std::min(place.value, Size());
    const std::size_t count = chunks_.size() + 1;
    const auto startOf = [&](std::size_t c) { return c < chunks_.size() ? chunks_[c].start : open_.start; };
    const auto endOf = [&](std::size_t c) { return c + 1 < count ? startOf(c + 1) : Size(); };
    const std::size_t home = ChunkOfPosition(from);
    // Forward: from `from` to the end, then from the start up to `from`.
    // Backward: from `from` down to the start, then from the end down.
    for (std::size_t step = 0; step <= count; ++step) {
        const bool wrapped = forward ? home + step >= count : step > home;
        const std::size_t c = forward ? (home + step) % count : (home + count - step) % count;
        std::uint64_t lo = startOf(c);
        std::uint64_t hi = endOf(c);
        if (forward != wrapped)
            lo = std::max(lo, from);
        else
            hi = std::min(hi, from);
        if (auto at = FindIn(c, folded, lo, hi, !forward))
            return TextPosition(*at);
    }
    return std::nullopt;
}

std::size_t ConsoleText::HeldBytes() const
{
    std::size_t bytes = chunks_.capacity() * sizeof(Chunk) + open_.text.capacity() +
                        open_.lineStarts.capacity() * sizeof(std::uint32_t) +
                        open_.colours.capacity() * sizeof(ColourChange) + scratch_.capacity() + lowered_.capacity() +
                        readBack_.capacity() + inMemory_;
    for (const Unpacked& u : recent_)
        bytes += u.text.capacity() + u.lineStarts.capacity() * sizeof(std::uint32_t) +
                 u.colours.capacity() * sizeof(ColourChange);
    return bytes;
}

}  // namespace quillon
