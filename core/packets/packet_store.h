// The packet list's store: every frame of a run, one fixed-size row each, in
// little memory. A row holds the frame's small fields (time, KISS port,
// control byte, PID, length, APRS type) and where its bytes are; the texts of
// the columns are made from those bytes when they are asked for, by the same
// decoders that write the frame report, so the list and the console never
// disagree.
//
// The frame bytes, as received, go to an arena cut into chunks of 64 KB; each
// full chunk is compressed with LZ4 (addresses repeat, so frames shrink to
// about half). Callsigns and via lists are kept once each, in tables; a row
// refers to them by number, which makes a filter on stations a table lookup.
//
// The store only grows, row by row, until Clear. Above its memory budget it
// forgets its oldest rows, a chunk at a time, and the names only they used,
// so a run of months costs no more than the budget, even on a channel of
// noise where every frame has a callsign of its own; the view learns of it
// through TakeChanges.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decoder/decoder.h"
#include "kiss/kiss.h"
#include "packet_filter.h"

namespace quillon {

// The list's columns, in the order they are shown.
enum class PacketColumn : std::uint8_t {
    Time,     // "2013-07-28 14:05:09.437", UTC
    Port,     // KISS port, "0" to "15" (a SMACK frame's is 0)
    From,     // "N0CALL-9"
    To,       // "APRS"
    Via,      // "RELAY*,WIDE2-1", the "*" behind a digipeater that has repeated
    Type,     // the control field's name: "UI", "I", "RR", "SABM", ...
    Pid,      // "F0", as the control line writes it; empty without a PID
    Length,   // bytes of the frame as received, as the report's header counts them
    Summary,  // what an APRS packet says, or another frame's payload text
    Text,     // the first bytes of the payload text
};
inline constexpr std::size_t kPacketColumnCount = 10;

// "Time (UTC)", "Port", "From", "To", "Via", "Type", "PID", "Length",
// "Summary", "Text".
std::string_view PacketColumnTitle(PacketColumn column);

// The texts of one row, by column.
using PacketRowTexts = std::array<std::string, kPacketColumnCount>;

// The row's texts separated by tabs, without line end: a line of
// quillon-dump --list, in Windows-1252. Control characters in a text (a
// damaged callsign's) show as ".", as in the payload text.
std::string PacketListLine(const PacketRowTexts& texts);

class PacketStore {
public:
    // Enough for a million APRS frames; the oldest go beyond it.
    static constexpr std::size_t kDefaultMemoryBudget = std::size_t(96) << 20;
    // Characters of the payload text in the Text column, and in the Summary
    // column of a frame that is not APRS.
    static constexpr std::size_t kTextBytes = 40;
    static constexpr std::size_t kSummaryBytes = 100;

    explicit PacketStore(std::size_t memoryBudget = kDefaultMemoryBudget);
    ~PacketStore();
    PacketStore(const PacketStore&) = delete;
    PacketStore& operator=(const PacketStore&) = delete;

    // Adds the frame that `frame` holds (as received, FEND at both ends),
    // received at `time`. `decoded` is the decoder's result for it when the
    // caller has one (the report of a decoded frame); without it the store
    // decodes the frame itself. Every frame is listed decoded, whatever the
    // console's mode.
    void Append(const ReceiveState& frame, std::chrono::system_clock::time_point time,
                const DecoderState* decoded = nullptr);
    // Forgets every row.
    void Clear();
    // Oldest rows are forgotten at once when the store holds more.
    void SetMemoryBudget(std::size_t bytes);

    // Rows held; row 0 is the oldest held.
    std::size_t Size() const { return rows_.size(); }
    // Rows forgotten from the front to keep the budget, since the last Clear.
    std::uint64_t Dropped() const { return dropped_; }
    // Bytes the store holds: rows, compressed and open chunks, tables.
    std::size_t HeldBytes() const;

    std::chrono::system_clock::time_point Time(std::size_t row) const;
    int Port(std::size_t row) const;
    // The source callsign, "N0CALL-9" (for "only this station").
    std::string_view FromCall(std::size_t row) const;
    std::string Cell(std::size_t row, PacketColumn column) const;
    // Every column at once, the frame decoded once.
    PacketRowTexts Texts(std::size_t row) const;
    // The frame as received, to report it as the console does.
    ReceiveState Frame(std::size_t row) const;

    // The rows from `first` to before `end` that the filter lets through, in
    // order.
    std::vector<std::uint32_t> Select(const PacketFilter& filter, std::size_t first = 0,
                                      std::size_t end = SIZE_MAX) const;
    // Sorts row numbers by a column, rows that compare equal in the order
    // they came.
    void Sort(std::vector<std::uint32_t>& rows, PacketColumn column, bool descending) const;

    // What happened since the last call, for a view that refreshes now and
    // then: everything anew (Clear), or `droppedFront` rows went from the
    // front (row numbers shift down by as many) and the rows from rowsBefore
    // (counted after the drop) to rowsNow are new.
    struct Changes {
        bool reset = false;
        std::size_t droppedFront = 0;
        std::size_t rowsBefore = 0;
        std::size_t rowsNow = 0;
        bool Any() const { return reset || droppedFront != 0 || rowsBefore != rowsNow; }
    };
    Changes TakeChanges();

private:
    struct Row {
        std::int64_t timeMs = 0;  // since the epoch, UTC
        std::uint64_t at = 0;     // chunk number since Clear << 16 | offset in the chunk
        std::uint32_t from = 0;   // in calls_
        std::uint32_t to = 0;
        std::uint32_t via = 0;     // in vias_
        std::uint16_t length = 0;  // as received, both FENDs included
        std::uint8_t command = 0;
        std::uint8_t control = 0;
        std::uint8_t pid = 0;
        std::uint8_t flags = 0;
        std::uint8_t aprsType = 0;
        std::uint8_t payloadStart = 0;  // in the un-escaped frame, behind the command byte
    };
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> packed;  // null for the open chunk
        std::uint32_t packedSize = 0;
        std::uint32_t size = 0;
    };
    // Names kept once each, by number.
    struct Names {
        std::vector<std::string> names;
        std::unordered_map<std::string, std::uint32_t> numbers;
        std::size_t bytes = 0;
        std::uint32_t Number(const std::string& name);
    };
    struct Compiled;

    // The bytes stored for a row: the frame as received between its FENDs.
    std::span<const std::uint8_t> Stored(const Row& row) const;
    ReceiveState FrameOf(const Row& row) const;
    // The Summary and the Text column of a row, those asked for.
    void PayloadTexts(const Row& row, std::string* summary, std::string* text) const;
    // Whether the row passes; `text` is room for its payload text.
    bool Holds(const Compiled& compiled, const Row& row, std::string& text) const;
    // Drops the oldest rows while the store holds more than its budget.
    void Fit();
    void DropOldest();
    // Forgets the names no row refers to any more.
    void CompactNames();

    std::deque<Row> rows_;
    std::deque<Chunk> chunks_;  // the last is open, unpacked in open_
    std::vector<std::uint8_t> open_;
    Names calls_;
    Names vias_;
    std::size_t budget_;
    std::uint64_t dropped_ = 0;
    std::uint64_t firstChunk_ = 0;  // the number of chunks_.front() since Clear
    std::size_t packedBytes_ = 0;
    // One chunk unpacked, the last one read.
    mutable std::uint64_t unpackedChunk_ = UINT64_MAX;
    mutable std::vector<std::uint8_t> unpacked_;
    bool cleared_ = false;
    std::uint64_t droppedSeen_ = 0;
    std::size_t shownRows_ = 0;
};

}  // namespace quillon
