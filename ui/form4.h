// The statistics window: a snapshot of the counters, taken when it loads.
#pragma once

#include <QWidget>

#include "app/app.h"
#include "console_area.h"
#include "text_areas.h"

namespace quillon {

// A top-level window of its own: it stays open when the main window closes.
// Its close box unloads it; the next "&Statistics" loads it afresh.
class Form4 : public QWidget {
    Q_OBJECT
public:
    explicit Form4(const Counters& counters);

    ConsoleArea* RichTextBox1 = nullptr;

private:
    void Form_Load(const Counters& counters);
};

}  // namespace quillon
