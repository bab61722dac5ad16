#include "log_indicator.h"

#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace quillon {

namespace {

std::string FailureLine(const LogFile& log, int failure)
{
    return log.Name() + ": " + std::strerror(failure);
}

void SayOnStderr(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

LogIndicator::LogIndicator(QWidget* parent) : QLabel(parent)
{
    setStyleSheet(QStringLiteral("QLabel { color: #D20000; font-weight: bold; }"));
    setTextFormat(Qt::PlainText);
    hide();
}

void LogIndicator::Change(const LogFile& log)
{
    const auto shown = std::find_if(failing_.begin(), failing_.end(), [&](const Failing& f) { return f.log == &log; });
    if (log.Failure() == 0) {
        failing_.erase(shown);
        SayOnStderr(log.Name() + ": writing again");
    } else if (shown == failing_.end()) {
        failing_.push_back({&log, log.Failure()});
        SayOnStderr(FailureLine(log, log.Failure()));
    } else {
        shown->failure = log.Failure();  // another reason: the line changes, stderr has said it fails
    }
    QStringList lines;
    for (const Failing& f : failing_)
        lines.append(QString::fromLocal8Bit(FailureLine(*f.log, f.failure)));
    setText(lines.join(u'\n'));
    setVisible(!failing_.empty());
}

}  // namespace quillon
