// The report of one received frame: what goes to the console, the caption of
// the frame box and the lines for the dump and hex logs. Building it prints
// nothing and writes nothing; the caller passes the parts on.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decoder.h"
#include "kiss/kiss.h"
#include "text/console.h"
#include "timesvc/clock.h"

namespace quillon {

// The switches of quillon.ini that shape a report.
struct ReportOptions {
    bool timeFrames = false;  // TIMEFRAMES=YES: the dump log line starts with the time
    bool hexFile = false;     // HEXFILE=YES: a hex log line for a payload
    bool aprs = false;        // APRS=YES: an APRS frame's report says what it means
    // KISS_PORTS=YES: a data frame on KISS ports 1 to 15 is named for its
    // port ("KISS Frame port 1 (without CRC)") instead of "unknown Protocol".
    bool kissPorts = false;
};

// In a decoded report's console runs, the address line's: after the line
// break, the header and the control line.
inline constexpr std::size_t kAddressRun = 3;

struct FrameReport {
    // The moment the frame was reported, one reading of the clock for every
    // stamp of the report.
    std::chrono::system_clock::time_point time;
    std::vector<ConsoleRun> console;  // the AddText calls, in order
    std::string frameCaption;         // "Payload KISS Frame" or "RAW KISS Frame"
    // Each ends in "\r\n"; present only when the report writes that log line.
    std::optional<std::string> hexLogLine;
    std::optional<std::string> dumpLogLine;
    // With APRS=YES, what an APRS frame says, one line without line end, as
    // the console shows it; empty for any other frame or with APRS off.
    std::string aprsLine;
    // What the decoder found; present when the frame was decoded.
    std::optional<DecoderState> decoded;
    // The frame as received, FEND to FEND: for a view that lists the frame
    // after the receive state has moved on.
    ByteString frame;
};

// "KISS Frame (without CRC)", "SMACK Frame (with CRC)", "TIME Frame" or
// "unknown Protocol", from the whole KISS command byte. With `kissPorts` a
// data frame on port 1 to 15 (0x10, 0x20 ... 0xF0) is "KISS Frame port N
// (without CRC)"; 0x80 stays a SMACK frame.
std::string_view FrameTypeText(std::uint8_t command, bool kissPorts = false);

// The payload of a decoded frame: from PayloadStart up to, not including,
// the closing FEND. Empty when the header reaches the end of the frame.
std::span<const std::uint8_t> PayloadOf(const DecoderState& dec);

// Bytes as the console's payload text shows them: a control character
// (below 32) becomes "."; every byte from 32 up stays itself, drawn in the
// 8-bit code page.
std::string PayloadText(std::span<const std::uint8_t> bytes);

// Reports the complete frame in `rx` (at least 3 bytes, FEND at both ends).
// With `decode` the frame is un-escaped and decoded and its payload dumped;
// otherwise the frame is dumped as received. The report depends on this frame
// alone. The timestamps come from `clock`; the caller notes the last-frame
// time afterwards.

FrameReport ReportFrame(const ReceiveState& rx, bool decode, const ReportOptions& options, const Clock& clock);

}  // namespace quillon
