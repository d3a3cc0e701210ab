#pragma once

#include "guards/SnoozeGuardService.h"
#include "guards/SnoozeGuardStatus.h"
#include "guards/SnoozeTriggerSource.h"
#include "guards/SnoozeTypes.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>

#include <optional>

class AppSettings;
class Clock;

// Snooze Guard's coordinator: turns the camera watcher's and the keyboard watcher's findings
// into alerts, escalates them over a two-minute window (levels 0, 1, 2, 3, then 5: the
// blackout) and holds the pause that a granted compromise or the emergency override sets.
class SnoozeGuard final : public QObject,
                          public SnoozeGuardService,
                          public SnoozeGuardStatus,
                          public SnoozeTriggerSource,
                          public SnoozePauseControl {
    Q_OBJECT
public:
    static constexpr qint64 escalationWindowSeconds = 120;
    static constexpr qint64 minimumPauseMinutes = 5;
    static constexpr qint64 overridePauseSeconds = 14'400;

    // `drowsiness` emits eventOccurred(DrowsyEvent), `stuckKey` eventOccurred(StuckKeyEvent).
    SnoozeGuard(const Clock& clock, AppSettings& settings, SnoozeWatcher& drowsiness, SnoozeWatcher& stuckKey,
                SnoozeAlertPresenter& alert, QObject* parent = nullptr);
    ~SnoozeGuard() override;

    static SnoozeGuard& shared();

    void start() override;
    void setEnabled(bool enabled);
    void fire(const QString& reason);

    void grantCompromise(int minutes) override;
    void emergencyOverride() override;
    qint64 escalationLevel() const override { return m_escalationLevel; }

    bool isRunning() const override { return m_isRunning; }
    std::optional<QString> lastTrigger() const { return m_lastTrigger; }
    std::optional<QDateTime> lastTriggerAt() const override { return m_lastTriggerAt; }
    std::optional<QDateTime> pauseUntil() const { return m_pauseUntil; }
    const QList<QDateTime>& recentAlertTimestamps() const { return m_recentAlertTimestamps; }

    SnoozeWatcher& drowsiness() { return m_drowsiness; }
    SnoozeWatcher& stuckKey() { return m_stuckKey; }

    // Start-up, shutdown and the status menu's restart.
    void stopDrowsinessDetector() override { m_drowsiness.stop(); }
    void stopStuckKeyWatcher() override { m_stuckKey.stop(); }
    void setIsRunning(bool running) override;
    void dismissAlert() override { m_alert.dismiss(); }

    // The status item and its menu.
    bool cameraPermissionDenied() const override { return m_drowsiness.permissionDenied(); }
    bool accessibilityPermissionDenied() const override { return m_stuckKey.permissionDenied(); }
    bool cameraWatchRunning() const override { return m_drowsiness.isRunning(); }
    bool keyWatchRunning() const override { return m_stuckKey.isRunning(); }
    QString cameraFailure() const override { return m_drowsiness.failure(); }
    // The status menu's test alert: straight to the window, nothing of the guard changes.
    void showAlert(const QString& reason, int level) override;

    int observeLastTriggerAt(Observer observer) override;
    void unobserve(int token) override;

    // Times in the console lines: "2026-12-09 10:41:07 +0000".
    static QString logTime(const QDateTime& time);
    // The alert's reason for a stuck key ("Key A held 3.2s — released") or a burst of mashing.
    static QString stuckKeyText(const StuckKeyEvent& event);

public Q_SLOTS:
    void handleDrowsyEvent(const DrowsyEvent& event);
    void handleStuckKeyEvent(const StuckKeyEvent& event);

Q_SIGNALS:
    // Each published value signals on every assignment, also when it did not change.
    void isRunningChanged(bool running);
    void lastTriggerChanged();
    void lastTriggerAtChanged();
    void escalationLevelChanged(qint64 level);
    // Anything the status item shows changed: the running flag or a watcher's state.
    void statusChanged();

private:
    void setEscalationLevel(qint64 level);

    const Clock& m_clock;
    AppSettings& m_settings;
    SnoozeWatcher& m_drowsiness;
    SnoozeWatcher& m_stuckKey;
    SnoozeAlertPresenter& m_alert;

    bool m_isRunning = false;
    std::optional<QString> m_lastTrigger;
    std::optional<QDateTime> m_lastTriggerAt;
    qint64 m_escalationLevel = 0;
    QList<QDateTime> m_recentAlertTimestamps;
    std::optional<QDateTime> m_pauseUntil;

    QHash<int, Observer> m_observers;
    int m_lastToken = 0;
};
