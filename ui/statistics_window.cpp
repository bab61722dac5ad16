#include "statistics_window.h"

#include <QVBoxLayout>

#include "app/statistics.h"

namespace quillon {

StatisticsWindow::StatisticsWindow(const Counters& counters, const std::vector<std::string>& more) : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Statistics"));
    auto* layout = new QVBoxLayout(this);
    auto snapshot = std::make_shared<ConsoleDocument>();
    snapshot->AddReport(StatisticsRuns(counters, more));
    text_ = new ConsoleArea(std::move(snapshot), this);
    layout->addWidget(text_);
    resize(320, 200);
}

}  // namespace quillon
