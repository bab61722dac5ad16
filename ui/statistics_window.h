// The statistics window: a snapshot of the counters, taken when it opens.
#pragma once

#include <QWidget>

#include "app/app.h"
#include "console_area.h"

namespace quillon {

// A top-level window of its own: it stays open when the main window closes.
// Its close box ends it; the next "&Statistics" makes it afresh.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    // `more`: the sharers' counts, a line each.
    explicit StatisticsWindow(const Counters& counters, const std::vector<std::string>& more = {});

    ConsoleArea& Text() { return *text_; }

private:
    ConsoleArea* text_ = nullptr;  // fixed pitch, like the console
};

}  // namespace quillon
