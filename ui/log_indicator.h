// The lasting sign of logs that cannot be written: one red line per failing
// log in the main window, "NAME: REASON" (06122026_1530.kss: No space left on
// device), which stays until a write to that log succeeds again. The status
// box would not do: every receive event empties it. The same is said once on
// standard error when a log starts failing, and once when it writes again.
#pragma once

#include <QLabel>
#include <string>
#include <vector>

namespace quillon {

class LogIndicator : public QLabel {
    Q_OBJECT
public:
    explicit LogIndicator(QWidget* parent = nullptr);

    // Shows these lines (LogSet::FailureLines), one under the other; hidden
    // when there are none.
    void SetLines(const std::vector<std::string>& lines);
};

// Standard error's account of the logs, fed by the failure listener of a
// LogSet: "NAME: REASON" once when a log starts failing, "NAME: writing
// again" once when it writes again. A new reason in between is left to the
// window's red line.
class LogFailureEcho {
public:
    void Say(const std::string& name, int failure);

private:
    std::vector<std::string> failing_;  // the names said to fail
};

}  // namespace quillon
