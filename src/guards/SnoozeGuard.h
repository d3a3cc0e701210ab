#pragma once

#include "core/Log.h"
#include "guards/SnoozeGuardService.h"
#include "guards/SnoozeGuardStatus.h"
#include "guards/SnoozeTriggerSource.h"

#include <QHash>

// Placeholder until the camera and keyboard watchers land: it only keeps the running flag, and
// its alert window is a console line. It never fires, so its last trigger stays absent.
class SnoozeGuard final : public SnoozeGuardService, public SnoozeGuardStatus, public SnoozeTriggerSource {
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

    std::optional<QDateTime> lastTriggerAt() const override { return std::nullopt; }
    int observeLastTriggerAt(Observer observer) override
    {
        observer(lastTriggerAt());
        m_observers.insert(++m_lastToken, std::move(observer));
        return m_lastToken;
    }
    void unobserve(int token) override { m_observers.remove(token); }

private:
    bool m_isRunning = false;
    QHash<int, Observer> m_observers;
    int m_lastToken = 0;
};
