// The lasting sign of logs that cannot be written: one red line per failing
// log in the main window, "NAME: REASON" (06122026_1530.kss: No space left on
// device), which stays until a write to that log succeeds again. The status
// box would not do: every receive event empties it. The same is said once on
// standard error when a log starts failing, and once when it writes again.
#pragma once

#include <QLabel>
#include <vector>

#include "log_file.h"

namespace quillon {

class LogIndicator : public QLabel {
    Q_OBJECT
public:
    explicit LogIndicator(QWidget* parent = nullptr);

    // After every write to `log`: shows, changes or takes back its line when
    // its state has changed since the last call; otherwise does nothing.
    void Note(const LogFile& log)
    {
        if (log.Failure() != ShownFailure(log))
            Change(log);
    }

private:
    struct Failing {
        const LogFile* log;
        int failure;
    };
    int ShownFailure(const LogFile& log) const
    {
        for (const Failing& f : failing_)
            if (f.log == &log)
                return f.failure;
        return 0;
    }
    void Change(const LogFile& log);

    std::vector<Failing> failing_;
};

}  // namespace quillon
