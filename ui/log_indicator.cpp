#include "log_indicator.h"

#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "log_set.h"

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

void LogFailureEcho::Say(const std::string& name, int failure)
{
    // The set tells a change of reason as well, which is not said again here.
    const auto said = std::find(failing_.begin(), failing_.end(), name);
    if (failure == 0) {
        if (said != failing_.end())
            failing_.erase(said);
    } else if (said == failing_.end()) {
        failing_.push_back(name);
    } else {
        return;
    }
    std::fprintf(stderr, "%s\n", LogChangeLine(name, failure).c_str());
    std::fflush(stderr);
}

}  // namespace quillon
