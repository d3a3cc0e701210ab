#pragma once

#include <QString>

// What the status item and its menu read of Snooze Guard, and its alert they can raise.
class SnoozeGuardStatus {
public:
    virtual ~SnoozeGuardStatus() = default;
    virtual bool isRunning() const = 0;
    virtual bool cameraPermissionDenied() const = 0;         // drowsiness.permissionDenied
    virtual bool accessibilityPermissionDenied() const = 0;  // stuckKey.permissionDenied
    // Whether each watch runs now, and why the camera's did not start (see SnoozeWatcher::failure).
    virtual bool cameraWatchRunning() const = 0;
    virtual bool keyWatchRunning() const = 0;
    virtual QString cameraFailure() const = 0;
    // SnoozeAlertWindow.show; the level is clamped to 0-5.
    virtual void showAlert(const QString& reason, int level) = 0;
};
