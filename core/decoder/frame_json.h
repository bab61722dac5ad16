// A line of the JSON Lines log (ddmmyyyy_hhmm.jsonl): one frame and its
// report as one JSON object on one line. The worked example's frame, decoded
// (one line in the log, broken here):
//
//   {"time":"2013-07-28T14:05:09.437Z","port":0,"command":0,
//    "type":"KISS Frame (without CRC)","length":32,
//    "source":"NOCALL-3","destination":"BEACON",
//    "digipeaters":[{"call":"RELAY-1","repeated":true}],
//    "control":"UI","control_byte":3,"pid":240,
//    "payload_hex":"48 65 6C 6C 6F 0D","payload_text":"Hello\u000D",
//    "aprs":{"type":"unknown"}}
//
// Always, in this order:
//   time          the report's time in UTC, ISO 8601, the milliseconds
//                 truncated as in the console's stamp
//   port          the upper four bits of the KISS command byte, 0 to 15 (a
//                 SMACK frame, command byte 0x80, shows port 8)
//   command       the lower four bits, 0 to 15 (0 data, 9 time)
//   type          the frame type of the console's header line (FrameTypeText,
//                 with KISS_PORTS the port's data frames named for their port)
//   length        the bytes of the frame as received, both FENDs and the
//                 escapes included: the console header's count
// Only for a decoded frame ("Decode KISS Frame" on); a raw one has none:
//   source, destination  the callsigns as the console shows them, "-SSID"
//                 behind unless the SSID is 0
//   digipeaters   every address of the digipeater field, in order: its call
//                 (without the console's "*") and whether its H bit is set.
//                 A blank call is listed too, as "", where the console's via
//                 list leaves it out.
//   control       the control byte's mnemonic as the console shows it
//   control_byte  the control byte, 0 to 255
//   pid           the PID byte, 0 to 255; null for a frame without one
//   payload_hex   the payload un-escaped, two upper-case hex digits per byte
//                 with a blank between bytes, as the hex log; "" when empty
//   payload_text  the payload, one Windows-1252 character per byte, every
//                 control character as \u00XX (text/json.h)
//   aprs          a UI frame with PID F0 only: what the APRS packet says,
//                 {"type":...,"format":...,"latitude":...}, each field left
//                 out where the packet has none (AppendAprs lists them)
// A decoded frame whose header is not whole (the frame ends inside the address
// field or the control byte, or no address ends the field) has none of these
// but "damaged":true: its callsigns would be made up.
// Every text from the air is escaped there too: a line is valid UTF-8 and
// valid JSON whatever the frame held.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "frame_report.h"

namespace quillon {

// The line, ending in "\n", for `report`, built from `frame` (as received,
// both FENDs included, at least 3 bytes as the receiver hands them on).
std::string FrameJsonLine(const FrameReport& report, std::span<const std::uint8_t> frame, bool kissPorts = false);

}  // namespace quillon
