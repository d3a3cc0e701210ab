#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A desktop notification server on its own bus connection, so calls to it really travel
// through the bus daemon. It records every Notify call.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    FakeNotificationServer() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notifications")))
    {
        registered = m_bus.isConnected() &&
                     m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots) &&
                     m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~FakeNotificationServer() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
    }

    bool registered = false;
    QList<Call> calls;
    QStringList capabilities{QStringLiteral("body")};

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int expireTimeout)
    {
        calls.append(Call{appName, replacesId, appIcon, summary, body, hints});
        return replacesId != 0 ? replacesId : ++m_lastId;
    }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }
    QStringList GetCapabilities() { return capabilities; }

private:
    QDBusConnection m_bus;
    uint m_lastId = 40;
};
