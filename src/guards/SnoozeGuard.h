#pragma once

#include "guards/SnoozeGuardService.h"

// Placeholder until the camera and keyboard watchers land: it only keeps the running flag.
class SnoozeGuard final : public SnoozeGuardService {
public:
    static SnoozeGuard& shared();
    void start() override {}
    void stopDrowsinessDetector() override {}
    void stopStuckKeyWatcher() override {}
    void setIsRunning(bool running) override { m_isRunning = running; }
    void dismissAlert() override {}
    bool isRunning() const { return m_isRunning; }

private:
    bool m_isRunning = false;
};
