#include "form4.h"

#include <QVBoxLayout>

#include "app/statistics.h"

namespace quillon {

Form4::Form4(const Counters& counters) : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Statistics"));
    auto* layout = new QVBoxLayout(this);
    RichTextBox1 = new ConsoleArea(this);  // fixed pitch, like the console
    layout->addWidget(RichTextBox1);
    resize(320, 200);
    Form_Load(counters);
}

void Form4::Form_Load(const Counters& counters)
{
    for (const ConsoleRun& run : StatisticsRuns(counters))
        RichTextBox1->AddText(run.text, run.colour);
}

}  // namespace quillon
