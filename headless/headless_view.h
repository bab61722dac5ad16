// The station without a window, for a service: every status line goes to
// standard output as one line (as the status box shows it), and with the
// monitor on, one line per frame:
//
//   2026-12-06 21:36:05.613 UTC G4XYZ-2>APRS,WIDE1-1*: text
//   2026-12-06 21:36:07.020 UTC [1] N0CALL>APRS: text     (KISS port 1)
//
// With APRS=YES an APRS frame's line goes on, two blanks after the text, with
// what the packet says, as the console's APRS line.
//
// Nothing keeps a history, so a run of months holds no more memory than a
// run of minutes. Text from the air is written as UTF-8 (the code page's
// characters converted) with its control codes as "." (C1 controls too), so
// one frame is one plain line in the journal. Every line goes out with its
// level, which the journal keeps (line_output.h); frames are information.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "station.h"

namespace quillon {

// The monitor line of a report, without a line end.
std::string MonitorLine(const FrameReport& report);

class HeadlessView final : public StationView {
public:
    using Output = std::function<void(std::string_view line, Severity severity)>;
    // Each line goes to `out` without its line end.
    HeadlessView(Output out, bool monitor) : out_(std::move(out)), monitor_(monitor) {}

    void ShowReport(const FrameReport& report) override;
    void ShowStatus(std::string_view line, Severity severity) override;

private:
    Output out_;
    bool monitor_;
};

}  // namespace quillon
