#include "heard_list.h"

#include <algorithm>

#include "decoder/ax25_address.h"
#include "decoder/frame_aprs.h"

namespace quillon {

namespace {

bool IsCallsignCharacter(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The source as the decoder wrote it: the callsign without its blanks, then
// "-SSID" when the SSID is not 0; never more than six characters before it.
bool IsCallsign(std::string_view source)
{
    const std::string_view call = source.substr(0, source.find('-'));
    return !call.empty() && std::all_of(call.begin(), call.end(), IsCallsignCharacter);
}

}  // namespace

HeardVerdict JudgeHeard(const FrameReport& report)
{
    if (!report.decoded)
        return HeardVerdict::NotDecoded;
    const DecoderState& dec = *report.decoded;
    // The payload starts at the closing FEND at the latest; further on, the
    // decoder read addresses, control or PID from beyond the frame.
    if (dec.PayloadStart > dec.DecodedFrameLength)
        return HeardVerdict::ShortHeader;
    if (!IsCallsign(dec.SourceCall))
        return HeardVerdict::NoCallsign;
    return HeardVerdict::Counted;
}

namespace {

std::string TextOf(std::string_view bytes, std::size_t limit)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return PayloadText(std::span(data, std::min(bytes.size(), limit)));
}

// Takes what the station said of itself into its row; true when it gave a
// position.
bool TakeAprs(HeardStation& station, const AprsPacket& packet)
{
    station.aprsType = packet.type;
    station.aprsMalformed = !packet.error.empty();
    if (packet.type == AprsType::Object || packet.type == AprsType::Item || packet.type == AprsType::ThirdParty)
        return false;  // about another station, or sent on behalf of one
    if (packet.symbolCode != 0) {
        station.symbolTable = packet.symbolTable;
        station.symbolCode = packet.symbolCode;
    }
    const std::string_view said = packet.type == AprsType::Status ? packet.text : std::string_view(packet.comment);
    if (!said.empty())
        station.comment = TextOf(said, HeardList::kCommentBytes);
    if (!packet.latitude || !packet.longitude)
        return false;
    station.position = GeoPoint{*packet.latitude, *packet.longitude};
    station.course.reset();
    station.speedKmh.reset();
    if (packet.course)
        station.course = static_cast<std::int16_t>(*packet.course);
    if (packet.speed)
        station.speedKmh = static_cast<float>(*packet.speed);
    return true;
}

}  // namespace

HeardList::HeardList(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

HeardVerdict HeardList::Add(const FrameReport& report)
{
    const HeardVerdict verdict = JudgeHeard(report);
    if (verdict != HeardVerdict::Counted)
        return verdict;
    const DecoderState& dec = *report.decoded;

    std::size_t row;
    if (const auto known = rowOf_.find(dec.SourceCall); known != rowOf_.end()) {
        row = known->second;
        recency_.splice(recency_.end(), recency_, rows_[row].recency);
    } else if (rows_.size() < capacity_) {
        row = rows_.size();
        rows_.push_back({{}, recency_.insert(recency_.end(), row)});
        rowOf_.emplace(dec.SourceCall, row);
    } else {
        // Full: the station silent longest gives up its row.
        row = recency_.front();
        recency_.splice(recency_.end(), recency_, recency_.begin());
        rowOf_.erase(rows_[row].station.call);
        rows_[row].station = {};
        rowOf_.emplace(dec.SourceCall, row);
    }

    HeardStation& station = rows_[row].station;
    if (station.frames == 0) {
        station.call = dec.SourceCall;
        station.firstHeard = report.time;
    }
    ++station.frames;
    station.lastHeard = report.time;
    station.route = RouteText(dec);
    const std::span<const std::uint8_t> payload = PayloadOf(dec);
    station.payloadStart = PayloadText(payload.first(std::min(payload.size(), kPayloadStartBytes)));
    const std::optional<AprsPacket> packet = DecodeAprsFrame(dec, report.time);
    if (packet && TakeAprs(station, *packet))
        Locate(station);
    Touched(row);
    return verdict;
}

void HeardList::Locate(HeardStation& station) const
{
    station.distanceKm.reset();
    station.bearing.reset();
    if (!ownLocation_ || !station.position)
        return;
    station.distanceKm = static_cast<float>(DistanceKm(*ownLocation_, *station.position));
    station.bearing = static_cast<std::int16_t>(BearingDegrees(*ownLocation_, *station.position));
}

void HeardList::SetOwnLocation(std::optional<GeoPoint> location)
{
    ownLocation_ = location;
    for (Row& row : rows_)
        Locate(row.station);
    if (shownRows_ > 0) {
        changedFirst_ = 0;
        changedEnd_ = shownRows_;
    }
}

void HeardList::Touched(std::size_t row)
{
    if (row >= shownRows_)
        return;  // a new row since the last look: reported as new
    if (changedFirst_ >= changedEnd_) {
        changedFirst_ = row;
        changedEnd_ = row + 1;
    } else {
        changedFirst_ = std::min(changedFirst_, row);
        changedEnd_ = std::max(changedEnd_, row + 1);
    }
}

void HeardList::Clear()
{
    rows_.clear();
    rows_.shrink_to_fit();
    rowOf_ = {};
    recency_.clear();
    cleared_ = true;
    shownRows_ = 0;
    changedFirst_ = changedEnd_ = 0;
}

std::optional<std::size_t> HeardList::RowOf(std::string_view call) const
{
    const auto found = rowOf_.find(std::string(call));
    if (found == rowOf_.end())
        return std::nullopt;
    return found->second;
}

HeardList::Changes HeardList::TakeChanges()
{
    Changes changes;
    changes.reset = cleared_;
    changes.changedFirst = changedFirst_;
    changes.changedEnd = changedEnd_;
    changes.rowsBefore = cleared_ ? 0 : shownRows_;
    changes.rowsNow = rows_.size();
    cleared_ = false;
    shownRows_ = rows_.size();
    changedFirst_ = changedEnd_ = 0;
    return changes;
}

}  // namespace quillon
