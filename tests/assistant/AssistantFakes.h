#pragma once

#include "assistant/AssistantServices.h"
#include "assistant/DnsFlusher.h"
#include "assistant/InsightSource.h"
#include "monitoring/BatteryLevelSource.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/ProcessStopper.h"
#include "optimisation/ProfileService.h"
#include "platform/linux/LinuxProcessControl.h"
#include "support/FakeMonitorState.h"

#include <QStringList>

struct FakeBattery final : BatteryLevelSource {
    int level = -1;
    bool charging = false;
    int batteryLevel() const override { return level; }
    bool isCharging() const override { return charging; }
};

struct FakeProfiles final : ProfileService {
    PerformanceMode active = PerformanceMode::balanced;
    QStringList calls;
    PerformanceMode activeProfile() const override { return active; }
    void applyMode(PerformanceMode mode) override { calls << QStringLiteral("apply ") + PerformanceModes::rawValue(mode); }
    void switchProfile(PerformanceMode mode) override
    {
        calls << QStringLiteral("switch ") + PerformanceModes::rawValue(mode);
        active = mode;
    }
};

struct FakeInsights final : InsightSource {
    QList<InsightItem> items;
    QList<InsightItem> insights() const override { return items; }
};

struct FakeCleaner final : CacheCleaner {
    QList<CleanupTarget> cleaned;
    int runs = 0;
    QList<CleanupTarget> cleanSafeTargets() override
    {
        ++runs;
        return cleaned;
    }
    QList<CleanupTarget> emergencyCleanup() override { return {}; }
};

struct FakeDns final : DnsFlusher {
    int flushes = 0;
    void flushDNS(std::function<void(Status)>) override { ++flushes; }
};

struct RecordingProcesses final : ProcessStopper {
    QList<int32_t> terminated;
    QList<ProcessOwner> owners;
    std::optional<ProcessStatus> failure;
    ProcessStatus killProcess(const ProcessInfoItem& item, ProcessOwner owner) override
    {
        owners << owner;
        if (failure) return *failure;
        terminated << item.pid;
        return ProcessStatus::done();
    }
};

inline ProcessInfoItem makeProcess(const QString& name, int32_t pid, double cpu, double memoryMB,
                                   bool isProtected = false)
{
    ProcessInfoItem item;
    item.name = name;
    item.pid = pid;
    // As the sampler sees it, so a real child can be reached.
    if (const auto identity = LinuxProcessControl::identityOf(pid)) item.startTime = identity->startTime;
    item.cpuUsage = cpu;
    item.memoryMB = memoryMB;
    item.isProtected = isProtected;
    return item;
}

// Every collaborator of the assistant as a scriptable fake; `processes` can be swapped for
// the real signaller.
struct FakeWorld {
    FakeMonitorState monitor;
    FakeBattery battery;
    FakeProfiles profiles;
    FakeInsights insights;
    FakeCleaner cleaner;
    FakeDns dns;
    RecordingProcesses recordingProcesses;

    AssistantServices services(ProcessStopper* processes = nullptr)
    {
        return {monitor, battery, profiles, insights, cleaner, dns, processes ? *processes : recordingProcesses};
    }
};
