#include "desktop_notifier.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>

namespace quillon {

namespace {

// As libdbus finds the session bus, without its last resort of starting one
// (dbus-launch), which would hold the event loop and leave a bus behind.
QString SessionBusAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    if (!runtime.isEmpty() && QFileInfo(socket).exists())
        return QStringLiteral("unix:path=") + socket;
    return {};
}

}  // namespace

DBusNotifier::DBusNotifier(QString address) : address_(std::move(address)) {}

DBusNotifier::~DBusNotifier()
{
    if (bus_)
        QDBusConnection::disconnectFromBus(bus_->name());
}

void DBusNotifier::Notify(const QString& summary, const QString& body)
{
    if (!bus_) {
        const QString address = address_.isEmpty() ? SessionBusAddress() : address_;
        bus_ = address.isEmpty() ? QDBusConnection(QString())
                                 : QDBusConnection::connectToBus(
                                       address, QStringLiteral("quillon-notifications-%1").arg(quintptr(this)));
    }
    if (!bus_->isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("quillon")}};
    call << QStringLiteral("Quillon") << 0u << QStringLiteral("quillon") << summary << body << QStringList() << hints
         << -1;
    // No waiting for the answer: a service that is slow or not there costs
    // nothing.
    bus_->send(call);
}

}  // namespace quillon
