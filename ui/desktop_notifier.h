// Desktop notifications: a short message that the desktop shows in a bubble
// for a while, through the freedesktop notification service on the session
// bus (org.freedesktop.Notifications.Notify).
#pragma once

#include <QDBusConnection>
#include <QString>
#include <memory>
#include <optional>

namespace quillon {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

// Sends each notification over D-Bus and never waits: the service's answer,
// or the error that none runs, is not read. Without a bus nothing is sent.
class DBusNotifier final : public DesktopNotifier {
public:
    // The bus at `address`; empty: the user's session bus, found as libdbus
    // finds it but never started (DBUS_SESSION_BUS_ADDRESS, else the bus
    // socket in XDG_RUNTIME_DIR). Connected at the first notification.
    explicit DBusNotifier(QString address = {});
    ~DBusNotifier() override;
    void Notify(const QString& summary, const QString& body) override;

private:
    QString address_;
    std::optional<QDBusConnection> bus_;  // tried once
};

}  // namespace quillon
