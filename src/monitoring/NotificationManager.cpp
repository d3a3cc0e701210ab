#include "monitoring/NotificationManager.h"

#include "core/CFormat.h"
#include "core/Clock.h"
#include "core/Dates.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLocale>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
constexpr int rememberedIdentifiers = 64;
// The desktop file and icon installed with the application; servers use them to group, badge
// and decorate our notices.
const QString desktopEntry = QStringLiteral("veltranmoor");
const QString appIcon = QStringLiteral("veltranmoor");
// Names from the freedesktop sound theme.
const QString defaultSound = QStringLiteral("message-new-instant");
const QString criticalSound = QStringLiteral("dialog-warning");

}  // namespace

NotificationManager::NotificationManager(const Clock& clock, QObject* parent) : QObject(parent), m_clock(clock) {}

void NotificationManager::requestAuthorization(std::function<void(std::optional<QString>)> completion)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        const QString error = bus.lastError().message();
        completion(error.isEmpty() ? QStringLiteral("no session bus") : error);
        return;
    }
    const QDBusPendingCall call =
        bus.asyncCall(QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetServerInformation")));
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [completion](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError()) {
            completion(w->error().message());
        } else {
            completion(std::nullopt);
        }
    });
}

bool NotificationManager::coolingDown(std::optional<QDateTime>& last)
{
    const QDateTime now = m_clock.now();
    if (last && Dates::secondsBetween(*last, now) < alertCooldown) return true;
    last = now;
    return false;
}

QString NotificationManager::timeText() const
{
    const double seconds = double(m_clock.now().toMSecsSinceEpoch()) / 1000.0;
    QString text = QString::number(seconds, 'f', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.'))) text += QStringLiteral(".0");
    return text;
}

void NotificationManager::notifyProcessThrottled(const QString& name, double cpuPercent)
{
    post(QStringLiteral("throttle-") + name + QStringLiteral("-") + timeText(), QStringLiteral("Process Throttled"),
         name + QStringLiteral(" was using ") + cformat("%.0f", cpuPercent) +
             QStringLiteral("% CPU and has been throttled to maintain performance."),
         QStringLiteral("PROCESS_ACTION"), Urgency::normal);
}

namespace {
QString rootNote(std::optional<double> rootFreeGB)
{
    if (!rootFreeGB) return {};
    return QStringLiteral(" The system disk (/) has only ") + cformat("%.1f", *rootFreeGB) + QStringLiteral(" GB free.");
}
}  // namespace

void NotificationManager::notifyEmergencyCleanup(double freeGB, std::optional<double> rootFreeGB)
{
    if (coolingDown(m_lastEmergencyAlert)) return;
    post(QStringLiteral("emergency-") + timeText(), QStringLiteral("Emergency Disk Cleanup"),
         QStringLiteral("Disk space critically low (") + cformat("%.1f", freeGB) +
             QStringLiteral(" GB free). Running emergency cleanup to free space.") + rootNote(rootFreeGB),
         QStringLiteral("DISK_EMERGENCY"), Urgency::critical, criticalSound);
}

void NotificationManager::notifyLowDisk(double freeGB, std::optional<double> rootFreeGB)
{
    if (coolingDown(m_lastDiskWarning)) return;
    post(QStringLiteral("disk-warning-") + timeText(), QStringLiteral("Low Disk Space"),
         QStringLiteral("Only ") + cformat("%.1f", freeGB) + QStringLiteral(" GB free. Consider running a cleanup.") +
             rootNote(rootFreeGB),
         QStringLiteral("DISK_WARNING"), Urgency::normal);
}

void NotificationManager::notifyLowRootDisk(double rootFreeGB)
{
    if (coolingDown(m_lastDiskWarning)) return;
    post(QStringLiteral("disk-warning-") + timeText(), QStringLiteral("Low Disk Space"),
         QStringLiteral("Only ") + cformat("%.1f", rootFreeGB) + QStringLiteral(" GB free on the system disk (/)."),
         QStringLiteral("DISK_WARNING"), Urgency::normal);
}

void NotificationManager::notifyHealthWarning(int64_t score)
{
    if (coolingDown(m_lastHealthAlert)) return;
    post(QStringLiteral("health-") + timeText(), QStringLiteral("Performance Warning"),
         QStringLiteral("System health score dropped to ") + QString::number(score) +
             QStringLiteral("/100. Check the dashboard for details."),
         QStringLiteral("HEALTH_WARNING"), Urgency::normal);
}

void NotificationManager::notify(const QString& title, const QString& body)
{
    post(QStringLiteral("notify-") + timeText(), title, body, QString(), Urgency::normal);
}

void NotificationManager::notifyCleanupComplete(const QString& sizeText)
{
    post(QStringLiteral("cleanup-") + timeText(), QStringLiteral("Cleanup Complete"),
         QStringLiteral("Moved ") + sizeText + QStringLiteral(" to the Trash. Empty it to free the disk space."),
         QStringLiteral("CLEANUP_COMPLETE"), Urgency::normal);
}

void NotificationManager::notifyAIWorkloadActive(const QString& body)
{
    post(QStringLiteral("ai-workload-active"), QStringLiteral("AI Workload Mode active"), body,
         QStringLiteral("AI_WORKLOAD_MODE"), Urgency::normal);
}

void NotificationManager::notifyBoundaryBreach(const QString& requestId, const QString& title, const QString& body)
{
    post(requestId, title, body, QStringLiteral("AI_SHIELD_BOUNDARY"), Urgency::normal);
}

void NotificationManager::post(const QString& identifier, const QString& title, const QString& body,
                               const QString& category, Urgency urgency, const QString& sound)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;

    QVariantMap hints;
    if (!category.isEmpty()) hints.insert(QStringLiteral("category"), category);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(urgency)));
    hints.insert(QStringLiteral("desktop-entry"), desktopEntry);
    hints.insert(QStringLiteral("sound-name"), sound.isEmpty() ? defaultSound : sound);

    // Bodies hold names of processes and files. A server that reads markup in bodies gets them
    // escaped, so a name is shown as it is and never read as markup; the server is asked each
    // time, as another one may have taken over meanwhile.
    const QDBusPendingCall asked =
        bus.asyncCall(QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities")));
    auto* capabilities = new QDBusPendingCallWatcher(asked, this);
    connect(capabilities, &QDBusPendingCallWatcher::finished, this,
            [this, identifier, title, body, hints](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QStringList> reply = *w;
                // A server that cannot say is treated as one that reads markup.
                const bool markup = reply.isError() || reply.value().contains(QStringLiteral("body-markup"));
                QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
                call << QStringLiteral("Veltranmoor AI") << m_serverIds.value(identifier, 0u) << appIcon << title
                     << (markup ? body.toHtmlEscaped() : body) << QStringList() << hints << int(-1);
                QDBusConnection bus = QDBusConnection::sessionBus();
                auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
                connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, identifier](QDBusPendingCallWatcher* n) {
                    n->deleteLater();
                    const QDBusPendingReply<uint> sent = *n;
                    if (!sent.isError()) remember(identifier, sent.value());
                });
            });
}

void NotificationManager::remember(const QString& identifier, uint serverId)
{
    if (!m_serverIds.contains(identifier)) m_identifierOrder.append(identifier);
    m_serverIds.insert(identifier, serverId);
    while (m_identifierOrder.size() > rememberedIdentifiers) m_serverIds.remove(m_identifierOrder.takeFirst());
}
