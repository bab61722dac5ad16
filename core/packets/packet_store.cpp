#include "packet_store.h"

#include <lz4.h>

#include <algorithm>
#include <bitset>
#include <charconv>
#include <cstring>
#include <functional>
#include <optional>

#include "aprs/aprs.h"
#include "callsign_pattern.h"
#include "decoder/ax25_address.h"
#include "decoder/decode.h"
#include "decoder/frame_aprs.h"
#include "decoder/frame_report.h"
#include "text/console_text.h"
#include "timesvc/timesvc.h"

namespace quillon {

namespace {

constexpr std::size_t kChunkBytes = std::size_t(1) << 16;
constexpr int kChunkShift = 16;

// Row flags.
constexpr std::uint8_t kHasPid = 0x01;
constexpr std::uint8_t kEscaped = 0x02;  // the stored bytes hold an FESC
constexpr std::uint8_t kAprs = 0x04;     // aprsType holds the packet's type

constexpr std::uint8_t kSmackCommand = 0x80;

// The KISS port in the command byte's upper four bits; for a SMACK frame the
// top bit says "with CRC" and the port is 0.
int PortOf(std::uint8_t command) { return command == kSmackCommand ? 0 : command >> 4; }

std::string Hex(std::uint8_t byte)
{
    char digits[3];
    const auto end = std::to_chars(digits, digits + sizeof digits, byte, 16).ptr;
    std::string text(digits, end);
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' ? char(c - 32) : c; });
    return text;
}

std::string Decimal(int n)
{
    char digits[12];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

}  // namespace

std::string_view PacketColumnTitle(PacketColumn column)
{
    static constexpr std::array<std::string_view, kPacketColumnCount> kTitles{
        "Time (UTC)", "Port", "From", "To", "Via", "Type", "PID", "Length", "Summary", "Text"};
    return kTitles[static_cast<std::size_t>(column)];
}

std::string PacketListLine(const PacketRowTexts& texts)
{
    std::string line;
    for (const std::string& text : texts) {
        if (&text != &texts.front())
            line.push_back('\t');
        // A damaged callsign may hold control characters; shown as "." like
        // the payload text's, they cannot break the line.
        for (const char c : text)
            line.push_back(static_cast<unsigned char>(c) < 32 ? '.' : c);
    }
    return line;
}

std::uint32_t PacketStore::Names::Number(const std::string& name)
{
    const auto [at, added] = numbers.try_emplace(name, static_cast<std::uint32_t>(names.size()));
    if (added) {
        names.push_back(name);
        bytes += 2 * (sizeof(std::string) + name.size()) + 32;
    }
    return at->second;
}

PacketStore::PacketStore(std::size_t memoryBudget) : budget_(memoryBudget) { Clear(); }

PacketStore::~PacketStore() = default;

void PacketStore::Clear()
{
    rows_.clear();
    chunks_.clear();
    chunks_.emplace_back();
    open_.clear();
    open_.reserve(kChunkBytes);
    calls_ = {};
    vias_ = {};
    dropped_ = 0;
    droppedSeen_ = 0;
    firstChunk_ = 0;
    packedBytes_ = 0;
    unpackedChunk_ = UINT64_MAX;
    cleared_ = true;
    shownRows_ = 0;
}

void PacketStore::SetMemoryBudget(std::size_t bytes)
{
    budget_ = bytes;
    Fit();
}

std::size_t PacketStore::HeldBytes() const
{
    return rows_.size() * sizeof(Row) + packedBytes_ + chunks_.size() * sizeof(Chunk) + open_.capacity() +
           unpacked_.capacity() + calls_.bytes + vias_.bytes;
}

void PacketStore::Append(const ReceiveState& frame, std::chrono::system_clock::time_point time,
                         const DecoderState* decoded)
{
    std::optional<DecoderState> own;
    if (decoded == nullptr)
        decoded = &own.emplace(DecodeAx25Frame(frame));
    const DecoderState& dec = *decoded;

    // Between the FENDs: the command byte and the data as received.
    const std::span<const std::uint8_t> bytes = frame.Bytes();
    const std::span<const std::uint8_t> stored =
        bytes.size() >= 2 ? bytes.subspan(1, bytes.size() - 2) : std::span<const std::uint8_t>();
    if (open_.size() + stored.size() > kChunkBytes) {
        Chunk& chunk = chunks_.back();
        const int bound = LZ4_compressBound(static_cast<int>(open_.size()));
        std::vector<char> packed(static_cast<std::size_t>(bound));
        const int size = LZ4_compress_default(reinterpret_cast<const char*>(open_.data()), packed.data(),
                                              static_cast<int>(open_.size()), bound);
        chunk.packed = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(size));
        std::memcpy(chunk.packed.get(), packed.data(), static_cast<std::size_t>(size));
        chunk.packedSize = static_cast<std::uint32_t>(size);
        chunk.size = static_cast<std::uint32_t>(open_.size());
        packedBytes_ += chunk.packedSize;
        chunks_.emplace_back();
        open_.clear();
    }

    Row row;
    row.timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    row.at = ((firstChunk_ + chunks_.size() - 1) << kChunkShift) | open_.size();
    open_.insert(open_.end(), stored.begin(), stored.end());
    row.from = calls_.Number(dec.SourceCall);
    row.to = calls_.Number(dec.DestinationCall);
    row.via = vias_.Number(ViaText(dec));
    row.length = static_cast<std::uint16_t>(frame.RawFrameLength);
    row.command = stored.empty() ? 0 : stored[0];
    row.control = dec.ControlByte;
    row.pid = dec.PidByte.value_or(0);
    row.flags = dec.PidByte ? kHasPid : 0;
    if (std::find(stored.begin(), stored.end(), FESC) != stored.end())
        row.flags |= kEscaped;
    if (const std::optional<AprsPacket> aprs = DecodeAprsFrame(dec, time)) {
        row.flags |= kAprs;
        row.aprsType = static_cast<std::uint8_t>(aprs->type);
    }
    row.payloadStart = static_cast<std::uint8_t>(std::clamp(dec.PayloadStart - 2, 0, 255));
    rows_.push_back(row);

    Fit();
}

void PacketStore::Fit()
{
    while (HeldBytes() > budget_ && chunks_.size() > 1) {
        DropOldest();
        // Noise from a TNC without CRC checks brings a new "callsign" with
        // nearly every frame: when names are most of what the store holds,
        // those that only the dropped rows used go with them.
        if (2 * (calls_.bytes + vias_.bytes) > HeldBytes())
            CompactNames();
    }
}

void PacketStore::CompactNames()
{
    Names calls;
    Names vias;
    std::vector<std::uint32_t> callNumbers(calls_.names.size(), UINT32_MAX);
    std::vector<std::uint32_t> viaNumbers(vias_.names.size(), UINT32_MAX);
    const auto renumber = [](std::vector<std::uint32_t>& numbers, Names& to, const Names& from, std::uint32_t& n) {
        if (numbers[n] == UINT32_MAX)
            numbers[n] = to.Number(from.names[n]);
        n = numbers[n];
    };
    for (Row& row : rows_) {
        renumber(callNumbers, calls, calls_, row.from);
        renumber(callNumbers, calls, calls_, row.to);
        renumber(viaNumbers, vias, vias_, row.via);
    }
    calls_ = std::move(calls);
    vias_ = std::move(vias);
}

void PacketStore::DropOldest()
{
    while (!rows_.empty() && (rows_.front().at >> kChunkShift) == firstChunk_) {
        rows_.pop_front();
        ++dropped_;
    }
    packedBytes_ -= chunks_.front().packedSize;
    chunks_.pop_front();
    if (unpackedChunk_ == firstChunk_)
        unpackedChunk_ = UINT64_MAX;
    ++firstChunk_;
}

std::span<const std::uint8_t> PacketStore::Stored(const Row& row) const
{
    const std::uint64_t number = row.at >> kChunkShift;
    const std::size_t offset = row.at & (kChunkBytes - 1);
    const std::size_t size = static_cast<std::size_t>(std::max(row.length - 2, 0));
    const std::size_t index = static_cast<std::size_t>(number - firstChunk_);
    if (index + 1 == chunks_.size())
        return std::span<const std::uint8_t>(open_).subspan(offset, size);
    if (unpackedChunk_ != number) {
        const Chunk& chunk = chunks_[index];
        unpacked_.resize(chunk.size);
        LZ4_decompress_safe(reinterpret_cast<const char*>(chunk.packed.get()),
                            reinterpret_cast<char*>(unpacked_.data()), static_cast<int>(chunk.packedSize),
                            static_cast<int>(chunk.size));
        unpackedChunk_ = number;
    }
    return std::span<const std::uint8_t>(unpacked_).subspan(offset, size);
}

ReceiveState PacketStore::Frame(std::size_t row) const { return FrameOf(rows_[row]); }

ReceiveState PacketStore::FrameOf(const Row& row) const
{
    const std::span<const std::uint8_t> stored = Stored(row);
    ReceiveState frame;
    frame.RawFrameLength = static_cast<std::int16_t>(stored.size() + 2);
    frame.At(1) = FEND;
    std::copy(stored.begin(), stored.end(), frame.RawFrame.begin() + 2);
    frame.At(frame.RawFrameLength) = FEND;
    return frame;
}

std::chrono::system_clock::time_point PacketStore::Time(std::size_t row) const
{
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(rows_[row].timeMs));
}

int PacketStore::Port(std::size_t row) const { return PortOf(rows_[row].command); }

std::string_view PacketStore::FromCall(std::size_t row) const { return calls_.names[rows_[row].from]; }

std::string PacketStore::Cell(std::size_t row, PacketColumn column) const
{
    const Row& r = rows_[row];
    switch (column) {
    case PacketColumn::Time: return FormatTimestamp(Time(row));
    case PacketColumn::Port: return Decimal(PortOf(r.command));
    case PacketColumn::From: return calls_.names[r.from];
    case PacketColumn::To: return calls_.names[r.to];
    case PacketColumn::Via: return vias_.names[r.via];
    case PacketColumn::Type: return std::string(ControlFieldName(r.control));
    case PacketColumn::Pid: return (r.flags & kHasPid) ? Hex(r.pid) : std::string();
    case PacketColumn::Length: return Decimal(r.length);
    case PacketColumn::Summary: {
        std::string summary;
        PayloadTexts(r, &summary, nullptr);
        return summary;
    }
    case PacketColumn::Text: {
        std::string text;
        PayloadTexts(r, nullptr, &text);
        return text;
    }
    }
    return {};
}

PacketRowTexts PacketStore::Texts(std::size_t row) const
{
    PacketRowTexts texts;
    for (std::size_t c = 0; c < static_cast<std::size_t>(PacketColumn::Summary); ++c)
        texts[c] = Cell(row, static_cast<PacketColumn>(c));
    PayloadTexts(rows_[row], &texts[static_cast<std::size_t>(PacketColumn::Summary)],
                 &texts[static_cast<std::size_t>(PacketColumn::Text)]);
    return texts;
}

void PacketStore::PayloadTexts(const Row& row, std::string* summary, std::string* text) const
{
    const DecoderState dec = DecodeAx25Frame(FrameOf(row));
    const std::string payload = PayloadText(PayloadOf(dec));
    if (text != nullptr)
        *text = payload.substr(0, kTextBytes);
    if (summary == nullptr)
        return;
    std::optional<AprsPacket> aprs;
    if (row.flags & kAprs)
        aprs = DecodeAprsFrame(dec, std::chrono::system_clock::time_point(std::chrono::milliseconds(row.timeMs)));
    // A UI frame with PID F0 that says nothing APRS knows shows its text.
    if (aprs && (aprs->type != AprsType::Unknown || !aprs->error.empty())) {
        *summary = AprsSummaryLine(*aprs);
        if (summary->starts_with("APRS "))
            summary->erase(0, 5);
    } else {
        *summary = payload.substr(0, kSummaryBytes);
    }
}

// A filter made ready for the store's tables: which calls and via lists each
// term matches, decided once per name instead of once per row.
struct PacketStore::Compiled {
    struct Term {
        const FilterTerm* term;
        std::vector<bool> calls;  // From, To, Word: by call number
        std::vector<bool> vias;   // Via, Word: by via list number
        std::bitset<256> controls;
        std::optional<std::boyer_moore_horspool_searcher<std::string::const_iterator>> word;
    };
    std::vector<Term> terms;
    bool words = false;
};

namespace {

bool ViaMatches(std::string_view pattern, std::string_view via)
{
    while (!via.empty()) {
        const std::size_t comma = via.find(',');
        std::string_view call = via.substr(0, comma);
        if (call.ends_with('*'))
            call.remove_suffix(1);
        if (MatchesCallsignPattern(pattern, call))
            return true;
        if (comma == std::string_view::npos)
            break;
        via.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace

bool PacketStore::Holds(const Compiled& compiled, const Row& row, std::string& text) const
{
    bool haveText = false;  // `text` holds the row's payload text folded, made when a word needs it
    for (const Compiled::Term& t : compiled.terms) {
        bool match = false;
        switch (t.term->key) {
        case FilterTerm::Key::From: match = t.calls[row.from]; break;
        case FilterTerm::Key::To: match = t.calls[row.to]; break;
        case FilterTerm::Key::Via: match = t.vias[row.via]; break;
        case FilterTerm::Key::Port: match = PortOf(row.command) == t.term->number; break;
        case FilterTerm::Key::Type: match = t.controls[row.control]; break;
        case FilterTerm::Key::Aprs:
            match = (row.flags & kAprs) && (t.term->number < 0 || row.aprsType == t.term->number);
            break;
        case FilterTerm::Key::Word:
            match = t.calls[row.from] || t.calls[row.to] || t.vias[row.via];
            if (!match) {
                if (!haveText) {
                    std::span<const std::uint8_t> payload;
                    std::optional<DecoderState> dec;
                    if (row.flags & kEscaped) {
                        payload = PayloadOf(dec.emplace(DecodeAx25Frame(FrameOf(row))));
                    } else {
                        const std::span<const std::uint8_t> stored = Stored(row);
                        payload = stored.subspan(std::min<std::size_t>(row.payloadStart, stored.size()));
                    }
                    // The payload text as the Text column shows it, folded.
                    static const std::array<char, 256> kFolded = [] {
                        std::array<char, 256> folded{};
                        for (int c = 0; c < 256; ++c)
                            folded[std::size_t(c)] = FoldCase(PayloadText(std::array{std::uint8_t(c)}))[0];
                        return folded;
                    }();
                    text.resize(payload.size());
                    std::transform(payload.begin(), payload.end(), text.begin(),
                                   [](std::uint8_t b) { return kFolded[b]; });
                    haveText = true;
                }
                match = std::search(text.cbegin(), text.cend(), *t.word) != text.cend();
            }
            break;
        }
        if (match == t.term->exclude)
            return false;
    }
    return true;
}

std::vector<std::uint32_t> PacketStore::Select(const PacketFilter& filter, std::size_t first, std::size_t end) const
{
    Compiled compiled;
    for (const FilterTerm& term : filter.terms) {
        Compiled::Term& t = compiled.terms.emplace_back();
        t.term = &term;
        switch (term.key) {
        case FilterTerm::Key::From:
        case FilterTerm::Key::To:
            t.calls.reserve(calls_.names.size());
            for (const std::string& call : calls_.names)
                t.calls.push_back(MatchesCallsignPattern(term.value, call));
            break;
        case FilterTerm::Key::Via:
            for (const std::string& via : vias_.names)
                t.vias.push_back(ViaMatches(term.value, via));
            break;
        case FilterTerm::Key::Type:
            for (int c = 0; c < 256; ++c)
                t.controls[static_cast<std::size_t>(c)] = ControlFieldName(static_cast<std::uint8_t>(c)) == term.value;
            break;
        case FilterTerm::Key::Word:
            t.word.emplace(term.value.begin(), term.value.end());
            for (const std::string& call : calls_.names)
                t.calls.push_back(FoldCase(call).find(term.value) != std::string::npos);
            for (const std::string& via : vias_.names)
                t.vias.push_back(FoldCase(via).find(term.value) != std::string::npos);
            break;
        default: break;
        }
    }
    std::vector<std::uint32_t> rows;
    std::string text;
    end = std::min(end, rows_.size());
    for (std::size_t i = first; i < end; ++i)
        if (Holds(compiled, rows_[i], text))
            rows.push_back(static_cast<std::uint32_t>(i));
    return rows;
}

namespace {

// Sorts `rows` by the key of each, `keys[i]` that of `rows[i]`; rows with
// equal keys keep their order.
template <typename Key>
void SortByKeys(std::vector<std::uint32_t>& rows, std::vector<std::pair<Key, std::uint32_t>>& keyed, bool descending)
{
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
        return descending ? b.first < a.first : a.first < b.first;
    });
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = keyed[i].second;
}

// The place of each name in alphabetical order.
std::vector<std::uint32_t> Ranks(std::size_t count, const auto& nameOf)
{
    std::vector<std::uint32_t> byName(count);
    for (std::uint32_t i = 0; i < count; ++i)
        byName[i] = i;
    std::sort(byName.begin(), byName.end(), [&](std::uint32_t a, std::uint32_t b) { return nameOf(a) < nameOf(b); });
    std::vector<std::uint32_t> rank(count);
    for (std::uint32_t i = 0; i < count; ++i)
        rank[byName[i]] = i;
    return rank;
}

}  // namespace

void PacketStore::Sort(std::vector<std::uint32_t>& rows, PacketColumn column, bool descending) const
{
    if (column == PacketColumn::Summary || column == PacketColumn::Text) {
        // Texts made once per row, then sorted by them.
        std::vector<std::pair<std::string, std::uint32_t>> keyed;
        keyed.reserve(rows.size());
        for (const std::uint32_t row : rows)
            keyed.emplace_back(Cell(row, column), row);
        return SortByKeys(rows, keyed, descending);
    }
    const auto names = [](const Names& table) {
        return Ranks(table.names.size(), [&](std::uint32_t i) -> const std::string& { return table.names[i]; });
    };
    const std::vector<std::uint32_t> calls =
        column == PacketColumn::From || column == PacketColumn::To ? names(calls_) : std::vector<std::uint32_t>();
    const std::vector<std::uint32_t> vias = column == PacketColumn::Via ? names(vias_) : std::vector<std::uint32_t>();
    static const std::vector<std::uint32_t> kTypes =
        Ranks(256, [](std::uint32_t c) { return ControlFieldName(static_cast<std::uint8_t>(c)); });
    const auto keyOf = [&](const Row& r) -> std::int64_t {
        switch (column) {
        case PacketColumn::Time: return r.timeMs;
        case PacketColumn::Port: return PortOf(r.command);
        case PacketColumn::From: return calls[r.from];
        case PacketColumn::To: return calls[r.to];
        case PacketColumn::Via: return vias[r.via];
        case PacketColumn::Type: return kTypes[r.control];
        case PacketColumn::Pid: return (r.flags & kHasPid) ? r.pid + 1 : 0;
        default: return r.length;
        }
    };
    std::vector<std::pair<std::int64_t, std::uint32_t>> keyed;
    keyed.reserve(rows.size());
    for (const std::uint32_t row : rows)
        keyed.emplace_back(keyOf(rows_[row]), row);
    SortByKeys(rows, keyed, descending);
}

PacketStore::Changes PacketStore::TakeChanges()
{
    Changes changes;
    if (cleared_) {
        changes.reset = true;
    } else {
        // Rows dropped before they were ever shown are no view's concern.
        changes.droppedFront = static_cast<std::size_t>(std::min<std::uint64_t>(dropped_ - droppedSeen_, shownRows_));
        changes.rowsBefore = shownRows_ - changes.droppedFront;
    }
    changes.rowsNow = rows_.size();
    cleared_ = false;
    droppedSeen_ = dropped_;
    shownRows_ = rows_.size();
    return changes;
}

}  // namespace quillon
