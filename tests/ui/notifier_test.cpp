// Desktop notifications reach a notification service on a private session bus, and cost nothing without one.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <gtest/gtest.h>

#include "desktop_notifier.h"
#include <QTest>

namespace quillon::test {
namespace {

// The service as a desktop runs it: Notify(app, replaces, icon, summary, body, actions, hints, timeout) -> id.
struct FakeNotifications final : QDBusVirtualObject {
    std::vector<QList<QVariant>> calls;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override
    {
        if (message.member() != QStringLiteral("Notify"))
            return false;
        calls.push_back(message.arguments());
        bus.send(message.createReply(QVariant::fromValue(1u)));
        return true;
    }
};

struct PrivateBus {
    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address")});
        while (daemon.waitForReadyRead(10000) && !daemon.canReadLine()) {
        }
        address = QString::fromLatin1(daemon.readLine().trimmed());
    }
    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished(10000);
    }
    QProcess daemon;
    QString address;
};

TEST(DesktopNotifier, NothingWithoutAServiceAndEachNotificationToTheServiceWhenOneRuns)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    DBusNotifier notifier(bus.address);
    notifier.Notify(QStringLiteral("nobody"), QStringLiteral("listens"));  // no service: no error, no wait

    QDBusConnection service = QDBusConnection::connectToBus(bus.address, QStringLiteral("fake-notifications"));
    FakeNotifications fake;
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &fake) &&
                service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    notifier.Notify(QStringLiteral("N0CALL-7 heard"), QStringLiteral("watch: N0CALL-7 heard, first time this run"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake.calls.empty(); }, 10000));
    const QList<QVariant> call = fake.calls.front();
    ASSERT_EQ(call.size(), 8);
    EXPECT_EQ(call[0].toString() + "|" + call[3].toString() + "|" + call[4].toString(),
              "Quillon|N0CALL-7 heard|watch: N0CALL-7 heard, first time this run");
    EXPECT_EQ(fake.calls.size(), 1u) << "the call made without a service is not made again";
    service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
}

}  // namespace
}  // namespace quillon::test
