#pragma once

#include <QString>
#include <cstdint>

// The notices the engines post to the user.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notifyProcessThrottled(const QString& name, double cpuPercent) = 0;
    virtual void notifyEmergencyCleanup(double freeGB) = 0;
    virtual void notifyLowDisk(double freeGB) = 0;
    virtual void notifyHealthWarning(int64_t score) = 0;
    virtual void notify(const QString& title, const QString& body) = 0;
    virtual void notifyCleanupComplete(const QString& sizeText) = 0;
    // AI workload mode's activation notice: one identifier, so a new notice replaces the last.
    virtual void notifyAIWorkloadActive(const QString& body) { notify(QStringLiteral("AI Workload Mode active"), body); }
};
