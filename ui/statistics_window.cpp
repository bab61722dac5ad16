#include "statistics_window.h"

#include <QVBoxLayout>

#include "app/statistics.h"

namespace quillon {

StatisticsWindow::StatisticsWindow(const Counters& counters) : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Statistics"));
    auto* layout = new QVBoxLayout(this);
    text_ = new ConsoleArea(this);
    layout->addWidget(text_);
    resize(320, 200);
    for (const ConsoleRun& run : StatisticsRuns(counters))
        text_->AddText(run.text, run.colour);
}

}  // namespace quillon
