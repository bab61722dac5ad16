// The heard list: who is on the channel. One row per station heard as the
// source of a decoded frame, with how often and when it was heard and what
// its last frame was.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "aprs/aprs.h"
#include "aprs/location.h"
#include "decoder/frame_report.h"

namespace quillon {

struct HeardStation {
    std::string call;  // "N0CALL-7", as the address line shows the source
    std::uint64_t frames = 0;
    std::chrono::system_clock::time_point firstHeard;
    std::chrono::system_clock::time_point lastHeard;
    // Of the last frame: "APRS via WIDE1-1*,WIDE2-1", as the address line
    // shows destination and digipeaters, and the start of its payload as the
    // console's payload text (code page, control characters as ".").
    std::string route;
    std::string payloadStart;

    // What the station's APRS frames said. Each field is the last one given:
    // a frame without it (a status has no position) leaves it as it was.
    // Objects, items and third-party packets speak of someone else, and give
    // the station none of these but the type.
    std::optional<AprsType> aprsType;  // of the last APRS frame
    bool aprsMalformed = false;        // that frame had an error
    char symbolTable = 0;              // '/', '\\' or an overlay; 0: none yet
    char symbolCode = 0;
    // A position comes with its own course and speed, or none: a station that
    // has stopped sending them has stopped moving.
    std::optional<GeoPoint> position;
    std::optional<std::int16_t> course;  // degrees, 1 to 360
    std::optional<float> speedKmh;
    // From the list's own location to the position, when both are known.
    std::optional<float> distanceKm;
    std::optional<std::int16_t> bearing;  // degrees true, 0 to 359
    // The last status text or position comment that was not empty, its first
    // bytes as the console's text shows them.
    std::string comment;
};

// Why a report counts for nobody. A frame that was not decoded (decoding off)
// says nothing about its source. A decoded frame whose header runs past the
// end of the frame, or whose source callsign is not one to AX.25 (one to six
// capital letters and digits), is taken for noise: a TNC without CRC checks
// passes on damaged frames, and each of them would otherwise become a
// "station" of its own.
enum class HeardVerdict { Counted, NotDecoded, ShortHeader, NoCallsign };
HeardVerdict JudgeHeard(const FrameReport& report);

// The list, bounded. Rows keep their place from the first frame of their
// station until Clear, so that a view can follow the changes row by row; the
// order of the rows says nothing (views sort). When the list is full, a
// newcomer takes over the row of the station heard least recently, which has
// been silent longest: on a busy channel over weeks the list keeps who is
// around now and never grows past its capacity (some 640 bytes a station).
// "Least recently" is in the order the reports came, not by their stamps, so
// that a clock set back does not make the list drop the wrong station.
class HeardList {
public:
    // About a month of a busy APRS channel, where a few hundred different
    // stations a day are heard, in some 6.4 MB; the table still sorts it in
    // a tenth of a second.
    static constexpr std::size_t kDefaultCapacity = 10000;
    // Payload bytes kept of a station's last frame, and of its comment.
    static constexpr std::size_t kPayloadStartBytes = 40;
    static constexpr std::size_t kCommentBytes = 60;

    explicit HeardList(std::size_t capacity = kDefaultCapacity);

    // Decodes the frame's APRS once, here.
    HeardVerdict Add(const FrameReport& report);
    void Clear();

    // Where the user's own station is: every station with a position gets
    // its distance and bearing from there; nothing: none does. Changes every
    // row.
    void SetOwnLocation(std::optional<GeoPoint> location);
    const std::optional<GeoPoint>& OwnLocation() const { return ownLocation_; }

    std::size_t Size() const { return rows_.size(); }
    std::size_t Capacity() const { return capacity_; }
    const HeardStation& At(std::size_t row) const { return rows_[row].station; }
    std::optional<std::size_t> RowOf(std::string_view call) const;

    // What happened since the last call, for a view that refreshes now and
    // then: either everything anew (the list was cleared), or rows
    // [changedFirst, changedEnd) of the rowsBefore it had changed and rows
    // [rowsBefore, rowsNow) are new.
    struct Changes {
        bool reset = false;
        std::size_t changedFirst = 0;
        std::size_t changedEnd = 0;
        std::size_t rowsBefore = 0;
        std::size_t rowsNow = 0;
        bool Any() const { return reset || changedFirst < changedEnd || rowsBefore != rowsNow; }
    };
    Changes TakeChanges();

private:
    struct Row {
        HeardStation station;
        std::list<std::size_t>::iterator recency;
    };
    void Touched(std::size_t row);
    void Locate(HeardStation& station) const;

    std::size_t capacity_;
    std::vector<Row> rows_;
    std::unordered_map<std::string, std::size_t> rowOf_;
    std::list<std::size_t> recency_;  // row numbers, least recently heard first
    std::optional<GeoPoint> ownLocation_;

    bool cleared_ = false;
    std::size_t shownRows_ = 0;  // rows at the last TakeChanges
    std::size_t changedFirst_ = 0;
    std::size_t changedEnd_ = 0;
};

}  // namespace quillon
