// How long a link that is away waits before it tries again, when every try
// that fails doubles the wait: a server that refuses, or that accepts and
// drops the connection at once, is not asked every two seconds for ever.
//
//   try  1    2    3    4    5     6    7 ...
//   wait 2 s  4 s  8 s  16 s 32 s  60 s 60 s
//
// A connection that lasted `steady` was no failed try: when it ends, the
// schedule starts again at `first`. Any link may use it (a KISS server, an
// APRS-IS server); a serial port keeps its fixed interval.
#pragma once

#include <chrono>

namespace quillon {

struct BackOff {
    std::chrono::milliseconds first{2000};
    std::chrono::milliseconds longest{60000};
    std::chrono::milliseconds steady{60000};
    // The link says it is still trying ("reconnecting (N tries)") at most
    // this often.
    std::chrono::milliseconds sayEvery{60000};

    // The wait after a failure that follows `failedBefore` failures in a row
    // (0: the loss itself, or the first failure after a connection that
    // lasted).
    std::chrono::milliseconds Delay(int failedBefore) const;
};

}  // namespace quillon
