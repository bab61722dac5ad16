#include "igate_link.h"

#include "decoder/decode.h"

namespace quillon {

IgateLink::IgateLink(TcpAddress server, IgateLogin login, std::function<void(std::string_view, Severity)> say,
                     QObject* parent)
    : QObject(parent), login_(std::move(login)), say_(std::move(say)), link_(std::move(server), this)
{
    connect(&link_, &Link::Back, this, [this] {
        say_("APRS-IS " + link_.BackLine(), Severity::Info);
        link_.Write(IgateLoginLine(login_));
    });
    connect(&link_, &Link::Lost, this, [this](const QString& reason) {
        say_("APRS-IS " + LinkLostLine(link_.Name(), reason.toLatin1().toStdString()), Severity::Warning);
    });
}

void IgateLink::Start()
{
    if (IsReadOnly(login_))
        say_("APRS-IS login " + login_.call + " is read-only (IGATE_PASSCODE -1 or none): nothing is gated",
             Severity::Warning);
    link_.SetReopening(true);
    link_.Open();
}

void IgateLink::Offer(const ReceiveState& frame)
{
    if (IsReadOnly(login_) || !link_.IsOpen()) {
        ++notGated_;
        return;
    }
    const std::optional<std::string> line = IgateLine(DecodeAx25Frame(frame), login_.call);
    if (line && link_.Write(*line))
        ++gated_;
    else
        ++notGated_;
}

}  // namespace quillon
