#pragma once

#include "platform/PermissionProbes.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class Clock;
class Scheduler;

struct PermissionItem {
    QString id;  // "fda", "accessibility", "desktop", "documents", "downloads", "notifications"
    QString name;
    QString whatItEnables;
    QString ifMissing;
    PermissionState state = PermissionState::notDetermined;
    QString settingsPane;  // the desktop settings' pane that governs it
    bool canPrompt = false;

    friend bool operator==(const PermissionItem&, const PermissionItem&) = default;
};

// Probes the permissions the features depend on, without side effects, publishes one record per
// permission for the settings window and asks for one on request.
class PermissionsCenter : public QObject {
    Q_OBJECT
public:
    static inline const QString settingsUnavailableText =
        QStringLiteral("Opening the system settings is not available on this desktop.");

    PermissionsCenter(PermissionProbes& probes, Scheduler& scheduler, const Clock& clock, QObject* parent = nullptr);

    static PermissionsCenter& shared();

    const QList<PermissionItem>& items() const { return m_items; }
    const std::optional<QDateTime>& lastChecked() const { return m_lastChecked; }
    // Items not granted (denied and not determined both count).
    int missing() const;
    // Set when the last openSettings found no settings application.
    const std::optional<QString>& message() const { return m_message; }

    void refresh();
    void requestAccess(const PermissionItem& item);
    void openSettings(const PermissionItem& item);

Q_SIGNALS:
    void changed();

private:
    PermissionProbes& m_probes;
    Scheduler& m_scheduler;
    const Clock& m_clock;
    QList<PermissionItem> m_items;
    std::optional<QDateTime> m_lastChecked;
    std::optional<QString> m_message;
};
