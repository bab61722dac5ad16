// The lasting sign of logs that cannot be written: one red line per failing
// log in the main window, "NAME: REASON" (06122026_1530.kss: No space left on
// device), which stays until a write to that log succeeds again. The status
// box would not do: every block from the TNC empties it.
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

}  // namespace quillon
