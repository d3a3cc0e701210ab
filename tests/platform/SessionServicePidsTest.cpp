// The session's own services, as a private session bus names them: the bus's process, and the
// process that owns the notification name while it owns it.
#include "platform/linux/SessionServicePids.h"
#include "support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>

#include <unistd.h>

TEST(SessionServicePids, TheBusAndTheNotificationDaemonAsTheBusNamesThem)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid());
    QDBusConnection session = QDBusConnection::connectToBus(QString::fromUtf8(bus.address()), QStringLiteral("spared"));
    ASSERT_TRUE(session.isConnected());

    EXPECT_EQ(sessionServicePids(session), QSet<int32_t>{int32_t(bus.pid())}) << "no notification daemon yet";
    // This process stands in for the notification daemon.
    ASSERT_TRUE(session.registerService(QStringLiteral("org.freedesktop.Notifications")));
    EXPECT_EQ(sessionServicePids(session), (QSet<int32_t>{int32_t(bus.pid()), int32_t(::getpid())}));
    session.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(sessionServicePids(session), QSet<int32_t>{int32_t(bus.pid())});
    QDBusConnection::disconnectFromBus(QStringLiteral("spared"));
}
