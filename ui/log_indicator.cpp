#include "log_indicator.h"

#include <QStringList>

namespace quillon {

LogIndicator::LogIndicator(QWidget* parent) : QLabel(parent)
{
    setStyleSheet(QStringLiteral("QLabel { color: #D20000; font-weight: bold; }"));
    setTextFormat(Qt::PlainText);
    hide();
}

void LogIndicator::SetLines(const std::vector<std::string>& lines)
{
    QStringList text;
    for (const std::string& line : lines)
        text.append(QString::fromLocal8Bit(line));
    setText(text.join(u'\n'));
    setVisible(!lines.empty());
}

}  // namespace quillon
