#pragma once

// What start-up and shutdown need of Snooze Guard and its alert window.
class SnoozeGuardService {
public:
    virtual ~SnoozeGuardService() = default;
    virtual void start() = 0;
    virtual void stopDrowsinessDetector() = 0;  // drowsiness.stop
    virtual void stopStuckKeyWatcher() = 0;     // stuckKey.stop
    virtual void setIsRunning(bool running) = 0;
    virtual void dismissAlert() = 0;            // SnoozeAlertWindow.dismiss
};
