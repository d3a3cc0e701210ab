#include "platform/linux/SessionServicePids.h"

#include <QDBusMessage>

QSet<int32_t> sessionServicePids(const QDBusConnection& bus)
{
    QSet<int32_t> pids;
    if (!bus.isConnected()) return pids;
    // The bus answers for its own name with its own process.
    for (const QString& name : {QStringLiteral("org.freedesktop.DBus"), QStringLiteral("org.freedesktop.Notifications")}) {
        QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("/org/freedesktop/DBus"),
                                                          QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("GetConnectionUnixProcessID"));
        ask << name;
        const QDBusMessage reply = QDBusConnection(bus).call(ask, QDBus::Block, 1000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) continue;
        bool ok = false;
        const uint pid = reply.arguments().constFirst().toUInt(&ok);
        if (ok && pid > 1) pids.insert(int32_t(pid));
    }
    return pids;
}
