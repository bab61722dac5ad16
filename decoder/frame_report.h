// The report of one received frame: what goes to the console, the caption of
// the frame box and the lines for the dump and hex logs. Building it prints
// nothing and writes nothing; the caller passes the parts on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "app/console.h"
#include "decoder/decoder.h"
#include "platform/clock.h"
#include "tnc/tnc.h"

namespace quillon {

struct FrameReport {
    std::vector<ConsoleRun> console;  // the AddText calls, in order
    std::string frameCaption;         // "Payload KISS Frame" or "RAW KISS Frame"
    // Each ends in "\r\n"; present only when the report writes that log line.
    std::optional<std::string> hexLogLine;
    std::optional<std::string> dumpLogLine;
};

// "KISS Frame (without CRC)", "SMACK Frame (with CRC)", "TIME Frame" or
// "unknown Protocol", from the whole KISS command byte.
std::string_view FrameTypeText(std::uint8_t command);

// Reports the complete frame in `rx` (at least 3 bytes, FEND at both ends).
// With `decode` the frame is un-escaped and decoded into `dec` and its payload
// dumped; otherwise the frame is dumped as received. The timestamps come from
// `clock`; the caller sets LastFrameTime afterwards.
FrameReport ReportFrame(const ReceiveState& rx, DecoderState& dec, bool decode,
                        const ConfigurationRecord& config, const Clock& clock);

}  // namespace quillon
