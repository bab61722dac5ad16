// The time server's reply: the line that shows each arrival of it in the
// status box, and the setting of the system clock from the whole of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "clock_setter.h"
#include "text/console.h"

namespace quillon {

// "data received: EE BD D2 80  (4 bytes)": every byte's two digits followed
// by a blank, then the count in brackets. The dump stops at the end of the
// bytes or at bytesTotal, whichever comes first; an arrival of any size is
// dumped whole.
std::string DataReceivedLine(std::string_view bytes, std::int64_t bytesTotal);

// Decodes an RFC 868 reply (four bytes, big-endian seconds since 1900-01-01
// 00:00:00 UTC) and sets the system clock from it, telling the status box
// what happened. A reply of another length is rejected with a message; a
// time before 1921-12-13 20:45:52 is dropped without one.
void SyncSystemClock(std::string reply, const std::string& timeserver, SystemClockSetter& setter,
                     const AppendStatusLine& appendStatus);

}  // namespace quillon
