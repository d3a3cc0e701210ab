#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The notices the engines post to the user.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notifyProcessThrottled(const QString& name, double cpuPercent) = 0;
    // The free space of the home folder's file system; `rootFreeGB` when "/" is another file
    // system that is low as well, so the notice names it too.
    virtual void notifyEmergencyCleanup(double freeGB, std::optional<double> rootFreeGB) = 0;
    virtual void notifyLowDisk(double freeGB, std::optional<double> rootFreeGB) = 0;
    // "/" alone is low (another file system than the home folder's).
    virtual void notifyLowRootDisk(double rootFreeGB) = 0;
    virtual void notifyHealthWarning(int64_t score) = 0;
    virtual void notify(const QString& title, const QString& body) = 0;
    virtual void notifyCleanupComplete(const QString& sizeText) = 0;
    // AI workload mode's activation notice: one identifier, so a new notice replaces the last.
    virtual void notifyAIWorkloadActive(const QString& body) { notify(QStringLiteral("AI Workload Mode active"), body); }
    // AI Shield's boundary notice; a later request with the same identifier replaces it.
    virtual void notifyBoundaryBreach(const QString& requestId, const QString& title, const QString& body)
    {
        Q_UNUSED(requestId);
        notify(title, body);
    }
};
