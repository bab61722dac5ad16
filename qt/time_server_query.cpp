#include "time_server_query.h"

#include "timesvc/clock_sync.h"

namespace quillon {

namespace {

// The close handler goes on past any step that fails.
template <typename Step>
void Attempt(Step&& step)
{
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

TimeServerQuery::TimeServerQuery(AppendStatusLine appendStatus, SystemClockSetter& setter,
                                 QObject* parent)
    : QObject(parent), appendStatus_(std::move(appendStatus)), setter_(setter)
{
    connect(&Winsock1, &Winsock::connected, this, &TimeServerQuery::Winsock1_Connect);
    connect(&Winsock1, &Winsock::dataArrival, this, &TimeServerQuery::Winsock1_DataArrival);
    connect(&Winsock1, &Winsock::closed, this, &TimeServerQuery::Winsock1_Close);
    connect(&Winsock1, &Winsock::error, this, [this](int number, const QString& description) {
        Winsock1_Error(number, description.toStdString());
    });
}

void TimeServerQuery::SetConnectTimeoutForTesting(std::chrono::milliseconds timeout)
{
    Winsock1.SetConnectTimeout(timeout);
}

void TimeServerQuery::Start(const std::string& timeserver)
{
    if (timeserver.empty())
        return;
    timeserver_ = timeserver;
    appendStatus_("opening connection to TIMESERVER [" + timeserver + "]");
    reply_.clear();
    if (Winsock1.State() != winsock_state::Closed)
        Winsock1.Close();
    Winsock1.SetRemoteHost(timeserver);
    Winsock1.SetRemotePort(remotePort_);
    Winsock1.Connect();
}

void TimeServerQuery::Winsock1_Connect()
{
    appendStatus_("   winsock connection made");
}

void TimeServerQuery::Winsock1_DataArrival(qint64 bytesTotal)
{
    const std::string bytes = Winsock1.GetData();
    reply_ += bytes;
    appendStatus_(DataReceivedLine(bytes, bytesTotal));
}

void TimeServerQuery::Winsock1_Close()
{
    Attempt([&] { appendStatus_("   closing connection"); });
    Attempt([&] { Winsock1.Close(); });
    Attempt([&] { appendStatus_("   sockets closed"); });
    Attempt([&] { SyncSystemClock(reply_, timeserver_, setter_, appendStatus_); });
}

void TimeServerQuery::Winsock1_Error(int number, const std::string& description)
{
    appendStatus_("   error received: " + description);
    appendStatus_("   error received: " + std::to_string(number));
    if (number > 0) {
        if (Winsock1.State() != winsock_state::Closed)
            Winsock1.Close();
        appendStatus_("sockets closed");
    }
}

}  // namespace quillon
