#pragma once

#include <QString>

// What the status item and its menu read of Snooze Guard, and its alert they can raise.
class SnoozeGuardStatus {
public:
    virtual ~SnoozeGuardStatus() = default;
    virtual bool isRunning() const = 0;
    virtual bool cameraPermissionDenied() const = 0;         // drowsiness.permissionDenied
    virtual bool accessibilityPermissionDenied() const = 0;  // stuckKey.permissionDenied
    // SnoozeAlertWindow.show; the level is clamped to 0-5.
    virtual void showAlert(const QString& reason, int level) = 0;
};
