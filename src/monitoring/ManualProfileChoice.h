#pragma once

#include "monitoring/AutoProfileChoice.h"

// Stands in until the profile engine lands: automatic switching is off, so nothing switches.
class ManualProfileChoice final : public AutoProfileChoice {
public:
    bool autoSwitchEnabled() const override { return false; }
    QString activeProfileName() const override { return QStringLiteral("Balanced"); }
    QString detectModeFromRunningApps(int, bool, const QStringList&, double) const override
    {
        return QStringLiteral("Balanced");
    }
    void setLastAutoSwitchReason(const QString&) override {}
    void switchProfile(const QString&) override {}
};
