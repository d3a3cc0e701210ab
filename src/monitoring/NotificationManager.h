#pragma once

#include "monitoring/NotificationAuthorizer.h"
#include "monitoring/Notifier.h"

// Notices to the user. Until the D-Bus notices land, authorisation always succeeds and
// notices go nowhere.
class NotificationManager final : public NotificationAuthorizer, public Notifier {
public:
    static NotificationManager& shared();
    void requestAuthorization(std::function<void(std::optional<QString>)> completion) override { completion(std::nullopt); }
    void notifyProcessThrottled(const QString&, double) override {}
    void notifyEmergencyCleanup(double) override {}
    void notifyLowDisk(double) override {}
    void notifyHealthWarning(int64_t) override {}
    void notify(const QString&, const QString&) override {}
    void notifyCleanupComplete(const QString&) override {}
};
