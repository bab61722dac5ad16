#include "time_server_query.h"

#include <stdexcept>

#include "timesvc/clock_sync.h"

namespace quillon {

namespace {

// The close handler goes on past any step that fails (a status line its
// view could not take, a clock the system would not set); running out of
// memory is no failed step.
template <typename Step>
void Attempt(Step&& step)
{
    try {
        step();
    } catch (const std::runtime_error&) {
    }
}

}  // namespace

TimeServerQuery::TimeServerQuery(AppendStatusLine appendStatus, SystemClockSetter& setter, QObject* parent)
    : QObject(parent), appendStatus_(std::move(appendStatus)), setter_(setter)
{
    connect(&connection_, &TcpClient::Connected, this, &TimeServerQuery::OnConnected);
    connect(&connection_, &TcpClient::DataArrival, this, &TimeServerQuery::OnDataArrival);
    connect(&connection_, &TcpClient::Closed, this, &TimeServerQuery::OnClosed);
    connect(&connection_, &TcpClient::Error, this,
            [this](int number, const QString& description) { OnError(number, description.toStdString()); });
}

void TimeServerQuery::SetConnectTimeoutForTesting(std::chrono::milliseconds timeout)
{
    connection_.SetConnectTimeout(timeout);
}

void TimeServerQuery::Start(const std::string& timeserver, quint16 port)
{
    if (timeserver.empty())
        return;
    timeserver_ = timeserver;
    appendStatus_("opening connection to TIMESERVER [" + timeserver + "]");
    reply_.clear();
    if (connection_.CurrentState() != TcpClient::State::Closed)
        connection_.Close();
    connection_.SetRemoteHost(timeserver);
    connection_.SetRemotePort(port);
    connection_.Connect();
}

void TimeServerQuery::OnConnected() { appendStatus_("   winsock connection made"); }

void TimeServerQuery::OnDataArrival(qint64 bytesTotal)
{
    // Only what still counts is kept and dumped; the line says the count.
    const std::string bytes = connection_.GetData();
    const std::string_view kept = std::string_view(bytes).substr(0, kReplyLimit + 1 - reply_.size());
    reply_ += kept;
    appendStatus_(DataReceivedLine(kept, bytesTotal));
    if (reply_.size() > kReplyLimit) {
        connection_.Close();
        OnClosed();
    }
}

void TimeServerQuery::OnClosed()
{
    Attempt([&] { appendStatus_("   closing connection"); });
    Attempt([&] { connection_.Close(); });
    Attempt([&] { appendStatus_("   sockets closed"); });
    Attempt([&] { SyncSystemClock(reply_, timeserver_, setter_, appendStatus_); });
}

void TimeServerQuery::OnError(int number, const std::string& description)
{
    appendStatus_("   error received: " + description);
    appendStatus_("   error received: " + std::to_string(number));
    if (number > 0) {
        if (connection_.CurrentState() != TcpClient::State::Closed)
            connection_.Close();
        appendStatus_("sockets closed");
    }
}

}  // namespace quillon
