#pragma once

#include <QString>
#include <QStringList>

// The automatic profile choice as the sampling engine drives it on every twelfth sample.
// Profiles travel as their display names ("Balanced", "Battery Saver" ...), so this layer
// needs none of the profile engine's types.
class AutoProfileChoice {
public:
    virtual ~AutoProfileChoice() = default;
    virtual bool autoSwitchEnabled() const = 0;
    virtual QString activeProfileName() const = 0;
    virtual QString detectModeFromRunningApps(int batteryLevel, bool charging, const QStringList& processNames,
                                              double cpuUsage) const = 0;
    virtual void setLastAutoSwitchReason(const QString& reason) = 0;
    virtual void switchProfile(const QString& mode) = 0;
};
