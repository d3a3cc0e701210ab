#pragma once

#include "core/Log.h"
#include "guards/SnoozeGuardService.h"
#include "guards/SnoozeGuardStatus.h"

// Placeholder until the camera and keyboard watchers land: it only keeps the running flag, and
// its alert window is a console line.
class SnoozeGuard final : public SnoozeGuardService, public SnoozeGuardStatus {
public:
    static SnoozeGuard& shared();
    void start() override {}
    void stopDrowsinessDetector() override {}
    void stopStuckKeyWatcher() override {}
    void setIsRunning(bool running) override { m_isRunning = running; }
    void dismissAlert() override {}

    bool isRunning() const override { return m_isRunning; }
    bool cameraPermissionDenied() const override { return false; }
    bool accessibilityPermissionDenied() const override { return false; }
    void showAlert(const QString& reason, int level) override
    {
        Log::line(QStringLiteral("[SnoozeGuard] alert level ") + QString::number(level) + QStringLiteral(": ") + reason);
    }

private:
    bool m_isRunning = false;
};
