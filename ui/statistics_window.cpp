#include "statistics_window.h"

#include <QVBoxLayout>

#include "app/statistics.h"

namespace quillon {

StatisticsWindow::StatisticsWindow(const Counters& counters) : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Statistics"));
    auto* layout = new QVBoxLayout(this);
    auto document = std::make_shared<ConsoleDocument>();
    for (const ConsoleRun& run : StatisticsRuns(counters))
        document->AddText(run.text, run.colour);
    text_ = new ConsoleArea(std::move(document), this);
    layout->addWidget(text_);
    resize(320, 200);
}

}  // namespace quillon
