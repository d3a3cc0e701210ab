#pragma once

#include "platform/PermissionProbes.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

#include <memory>

class Clock;
class Scheduler;
class SerialQueue;

// What the user can do about a missing permission. Linux prompts for none of them.
enum class PermissionRemedy {
    none,          // nothing to press: `howToFix` says what to change
    openSettings,  // the desktop settings' pane governs it
    createFolder,  // the folder does not exist yet
    showInFiles,   // the folder exists but its owner or mode keeps us out
};

struct PermissionItem {
    QString id;  // "fda", "accessibility", "desktop", "documents", "downloads", "notifications"
    QString name;
    QString whatItEnables;
    QString ifMissing;
    PermissionState state = PermissionState::notDetermined;
    QString settingsPane;  // the desktop settings' pane that governs it
    PermissionRemedy remedy = PermissionRemedy::none;
    QString howToFix;      // while missing: what to change, where no button does it
    QString path;          // the folder, for the folder items

    friend bool operator==(const PermissionItem&, const PermissionItem&) = default;
};

// Probes the permissions the features depend on, without side effects, publishes one record per
// permission for the settings window and asks for one on request.
class PermissionsCenter : public QObject {
    Q_OBJECT
public:
    static inline const QString settingsUnavailableText =
        QStringLiteral("Opening the system settings is not available on this desktop.");

    static inline const QString journalFix = QStringLiteral(
        "Add your account to the systemd-journal group (sudo usermod -aG systemd-journal $USER), then log in again.");
    static inline const QString notificationServerFix = QStringLiteral(
        "No notification server answers on the session bus. Start your desktop's notification service (for example "
        "dunst, mako or xfce4-notifyd), then Re-check.");
    static inline const QString journalName = QStringLiteral("System Journal");

    PermissionsCenter(PermissionProbes& probes, Scheduler& scheduler, const Clock& clock, QObject* parent = nullptr);
    ~PermissionsCenter() override;

    static PermissionsCenter& shared();

    const QList<PermissionItem>& items() const { return m_items; }
    const std::optional<QDateTime>& lastChecked() const { return m_lastChecked; }
    // Items not granted (denied and not determined both count).
    int missing() const;
    // Set when the last openSettings found no settings application.
    const std::optional<QString>& message() const { return m_message; }

    void refresh();
    // Does what the item's remedy says: opens the settings pane, creates the folder (on a
    // worker) or shows it in the file manager; then probes again.
    void requestAccess(const PermissionItem& item);
    // Why a folder that exists cannot be used: not a folder, or its owner and mode.
    static QString folderModeText(const QString& path);
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
    std::unique_ptr<SerialQueue> m_worker;
};
