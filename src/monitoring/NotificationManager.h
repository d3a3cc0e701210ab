#pragma once

#include "monitoring/NotificationAuthorizer.h"
#include "monitoring/Notifier.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <optional>

class Clock;

// Notices to the user through the desktop's notification server on the session bus. Notices
// are best effort: with no server (or no bus) they are dropped without a word. Three of them
// wait out a cooldown so a lasting condition does not flood the user.
class NotificationManager final : public QObject, public NotificationAuthorizer, public Notifier {
    Q_OBJECT
public:
    static constexpr double alertCooldown = 300.0;

    explicit NotificationManager(const Clock& clock, QObject* parent = nullptr);
    static NotificationManager& shared();

    // Linux asks no permission: the server answering is the permission.
    void requestAuthorization(std::function<void(std::optional<QString>)> completion) override;

    void notifyProcessThrottled(const QString& name, double cpuPercent) override;
    void notifyEmergencyCleanup(double freeGB, std::optional<double> rootFreeGB) override;
    void notifyLowDisk(double freeGB, std::optional<double> rootFreeGB) override;
    void notifyLowRootDisk(double rootFreeGB) override;
    void notifyHealthWarning(int64_t score) override;
    void notify(const QString& title, const QString& body) override;
    void notifyCleanupComplete(const QString& sizeText) override;
    void notifyAIWorkloadActive(const QString& body) override;
    void notifyBoundaryBreach(const QString& requestId, const QString& title, const QString& body) override;

private:
    enum class Urgency : uchar { low = 0, normal = 1, critical = 2 };
    bool coolingDown(std::optional<QDateTime>& last);
    QString timeText() const;
    void post(const QString& identifier, const QString& title, const QString& body, const QString& category,
              Urgency urgency, const QString& sound = {});
    void remember(const QString& identifier, uint serverId);

    const Clock& m_clock;
    std::optional<QDateTime> m_lastHealthAlert;
    std::optional<QDateTime> m_lastDiskWarning;
    std::optional<QDateTime> m_lastEmergencyAlert;
    // The server's id of each recent request, so a request with the same identifier replaces
    // the earlier notice instead of adding one.
    QHash<QString, uint> m_serverIds;
    QStringList m_identifierOrder;
};
