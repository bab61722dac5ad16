#include "service_health.h"

#include "line_output.h"
#include "small_file.h"

namespace quillon {

void ServiceHealth::Started()
{
    const std::string& path = station_.Config().statusFile;
    if (!path.empty())
        statusFile_ = path.starts_with('/') ? path : station_.Environment().programDir.toStdString() + "/" + path;
    WriteStatusFile();
    statusSaid_ = ServiceStatusLine(station_.Figures());
    notifier_.Status(statusSaid_);
    notifier_.Ready();
}

void ServiceHealth::ShowClock(std::string_view /*clock*/)
{
    notifier_.Watchdog();
    ++ticks_;
    if (ticks_ % kStatusEveryTicks == 0) {
        if (std::string line = ServiceStatusLine(station_.Figures()); line != statusSaid_) {
            statusSaid_ = std::move(line);
            notifier_.Status(statusSaid_);
        }
    }
    if (ticks_ % kFileEveryTicks == 0)
        WriteStatusFile();
}

void ServiceHealth::Ended()
{
    notifier_.Stopping();
    WriteStatusFile();
}

// A file that cannot be written is said on standard error when it begins
// failing and when it is written again.
void ServiceHealth::WriteStatusFile()
{
    if (statusFile_.empty())
        return;
    const std::string failure = WriteSmallFile(statusFile_, StatusFileText(station_.Figures()));
    if (failure == fileFailure_)
        return;
    if (failure.empty())
        SayOnStandardError("STATUS_FILE " + statusFile_ + ": writing again");
    else
        SayOnStandardError("STATUS_FILE " + statusFile_ + ": " + failure, Severity::Warning);
    fileFailure_ = failure;
}

}  // namespace quillon
