#pragma once

#include "monitoring/AutoProfileChoice.h"
#include "optimisation/ProfileService.h"
#include "optimisation/ProfileSwitchEvent.h"

#include <QList>
#include <QObject>
#include <QStringList>

class AppSettings;
class Clock;

// Performance profiles: the active one (kept under "veltranmoor_active_profile"), writing a
// profile's thresholds into the settings, the history of applied profiles and the automatic
// choice the sampling engine drives on every twelfth sample. Main thread only.
class PerformanceProfileManager final : public QObject, public ProfileService, public AutoProfileChoice {
    Q_OBJECT
public:
    static constexpr int historyLimit = 100;

    // The values a profile writes into the settings.
    struct ProfileValues {
        double cpuThreshold;
        double pollingIntervalSeconds;
        bool autoCleanupEnabled;
        double sustainedTimeBeforeAction;
    };
    static ProfileValues valuesOf(PerformanceMode mode);
    static const QStringList& protectedProcessesOf(PerformanceMode mode);

    // The automatic choice from the machine's state; a battery level below 0 means the machine
    // has no battery.
    static PerformanceMode detectMode(int batteryLevel, bool charging, const QStringList& processNames,
                                      double cpuUsage);

    // Reads the stored profile and auto-switch flag; applies nothing (start-up does that).
    PerformanceProfileManager(AppSettings& settings, const Clock& clock, QObject* parent = nullptr);
    static PerformanceProfileManager& shared();

    PerformanceMode activeProfile() const override { return m_activeProfile; }
    // Writes the mode's values into the settings and logs the event; the active profile and
    // the stored key stay as they are.
    void applyMode(PerformanceMode mode) override;
    // Makes the mode active, stores it and applies it.
    void switchProfile(PerformanceMode mode) override;

    bool autoSwitchEnabled() const override { return m_autoSwitchEnabled; }
    // Stored under "veltranmoor_auto_switch" at once.
    void setAutoSwitchEnabled(bool enabled);
    QString lastAutoSwitchReason() const { return m_lastAutoSwitchReason; }
    void setLastAutoSwitchReason(const QString& reason) override;
    // Newest first, at most historyLimit; not kept across launches.
    const QList<ProfileSwitchEvent>& profileHistory() const { return m_profileHistory; }

    // The sampling engine's side, with profiles as their display names.
    QString activeProfileName() const override;
    QString detectModeFromRunningApps(int batteryLevel, bool charging, const QStringList& processNames,
                                      double cpuUsage) const override;
    // A name that is no profile is ignored.
    void switchProfile(const QString& mode) override;

Q_SIGNALS:
    void activeProfileChanged();
    // autoSwitchEnabled, lastAutoSwitchReason or profileHistory changed.
    void changed();

private:
    void apply(PerformanceMode mode, PerformanceMode previous, const QString& reason = QString());

    AppSettings& m_settings;
    const Clock& m_clock;
    PerformanceMode m_activeProfile = PerformanceMode::balanced;
    bool m_autoSwitchEnabled = false;
    QString m_lastAutoSwitchReason;
    bool m_hadStoredProfile = false;
    QList<ProfileSwitchEvent> m_profileHistory;
};
