#pragma once

#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "monitoring/AutoProfileChoice.h"
#include "monitoring/BatteryLevelSource.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/Notifier.h"
#include "monitoring/PerformanceMonitor.h"
#include "monitoring/TemperatureSource.h"
#include "monitoring/ThrottleAdvisor.h"
#include "platform/ProcessControl.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"
#include "support/ManualScheduler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>
#include <QStringList>
#include <functional>
#include <mutex>

// Stand-ins for the engines around the sampling engine, recording what they were asked.

struct RecordingNotifier final : Notifier {
    QStringList calls;
    void notifyProcessThrottled(const QString& name, double cpu) override
    {
        calls << QStringLiteral("throttled %1 %2").arg(name).arg(qRound(cpu));
    }
    static QString root(std::optional<double> rootFreeGB)
    {
        return rootFreeGB ? QStringLiteral(" (/ %1)").arg(*rootFreeGB, 0, 'f', 1) : QString();
    }
    void notifyEmergencyCleanup(double freeGB, std::optional<double> rootFreeGB) override
    {
        calls << QStringLiteral("emergency %1").arg(freeGB, 0, 'f', 1) + root(rootFreeGB);
    }
    void notifyLowDisk(double freeGB, std::optional<double> rootFreeGB) override
    {
        calls << QStringLiteral("low disk %1").arg(freeGB, 0, 'f', 1) + root(rootFreeGB);
    }
    void notifyLowRootDisk(double rootFreeGB) override { calls << QStringLiteral("low / %1").arg(rootFreeGB, 0, 'f', 1); }
    void notifyHealthWarning(int64_t score) override { calls << QStringLiteral("health %1").arg(score); }
    void notify(const QString& title, const QString&) override { calls << title; }
    void notifyCleanupComplete(const QString& size) override { calls << QStringLiteral("cleanup ") + size; }
};

struct RecordingLedger final : IncidentLedger {
    QStringList incidents;
    void recordIncident(const QString& name) override { incidents << name; }
    QList<QPair<QString, int>> sortedIncidents() const override { return {}; }
};

// Records priority changes; fails those of the pids in `failing` and finds those in `gone`
// exited.
struct RecordingProcessControl final : ProcessControl {
    QList<int32_t> lowered;
    QList<ProcessOwner> owners;
    QSet<int32_t> failing;
    QSet<int32_t> gone;
    ProcessStatus lowerPriority(ProcessIdentity process, ProcessOwner owner) override
    {
        owners << owner;
        if (gone.contains(process.pid)) return ProcessStatus::exited();
        if (failing.contains(process.pid)) return ProcessStatus::failed(QStringLiteral("Operation not permitted"));
        lowered << process.pid;
        return ProcessStatus::done();
    }
    OpenedProcess openProcess(ProcessIdentity, ProcessOwner) override
    {
        return OpenedProcess::refused(ProcessStatus::failed(QStringLiteral("not here")));
    }
};

struct FakeCleaner final : CacheCleaner {
    QList<CleanupTarget> safe;
    QList<CleanupTarget> emergency;
    std::atomic<int> emergencyRuns{0};
    QList<CleanupTarget> cleanSafeTargets() override { return safe; }
    QList<CleanupTarget> emergencyCleanup() override
    {
        ++emergencyRuns;
        return emergency;
    }
};

struct FakeTemperature final : TemperatureSource {
    std::optional<double> celsius;
    std::optional<double> cpuTempC() const override { return celsius; }
};

struct FakeBattery final : BatteryLevelSource {
    int level = -1;
    bool charging = false;
    int batteryLevel() const override { return level; }
    bool isCharging() const override { return charging; }
};

struct FakeAdvisor final : ThrottleAdvisor {
    QSet<int32_t> leaveAlone;
    int submitted = 0;
    void submitSnapshot(const PerformanceSnapshot&, const QList<ProcessInfoItem>&) override { ++submitted; }
    ThrottleVerdict judgeProcessCPU(const ProcessInfoItem& p) override
    {
        if (leaveAlone.contains(p.pid)) return {QStringLiteral("High but within learned pattern"), true};
        return {QStringLiteral("Exceeds CPU threshold"), false};
    }
    QList<int32_t> throttled;  // what the learner was told took effect
    void throttleSucceeded(const ProcessInfoItem& p) override { throttled.append(p.pid); }
};

struct FakeProfileChoice final : AutoProfileChoice {
    bool enabled = true;
    QString active = QStringLiteral("Balanced");
    QString detected = QStringLiteral("Battery Saver");
    QStringList log;
    bool autoSwitchEnabled() const override { return enabled; }
    QString activeProfileName() const override { return active; }
    QString detectModeFromRunningApps(int level, bool charging, const QStringList& names, double) const override
    {
        const_cast<FakeProfileChoice*>(this)->log << QStringLiteral("detect %1 %2 %3").arg(level).arg(charging).arg(names.size());
        return detected;
    }
    void setLastAutoSwitchReason(const QString& reason) override { log << QStringLiteral("reason ") + reason; }
    void switchProfile(const QString& mode) override { log << QStringLiteral("switch ") + mode; }
};

// The machine's real process table, narrowed to processes the test started, so automatic
// actions never reach anything else on the machine.
struct OwnProcessesTable final : ProcessTable {
    ProcfsProcessTable real;
    QSet<int32_t> allowed;
    bool readProcesses(std::vector<ProcessEntry>& out) override
    {
        if (!real.readProcesses(out)) return false;
        std::erase_if(out, [&](const ProcessEntry& e) { return !allowed.contains(e.pid); });
        return true;
    }
    QString displayName(const ProcessEntry& e) override { return real.displayName(e); }
};

// Runs the event loop until `done` holds or the deadline passes.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A monitor over the given readers with recording collaborators and virtual time.
struct MonitorRig {
    UserDefaults defaults{UserDefaults::defaultPath()};
    ManualClock clock;
    AppSettings settings{defaults, clock};
    ManualScheduler scheduler{clock};
    RecordingNotifier notifier;
    RecordingLedger ledger;
    RecordingProcessControl control;
    FakeCleaner cleaner;
    FakeTemperature temperature;
    FakeBattery battery;
    FakeAdvisor advisor;
    FakeProfileChoice profiles;

    MonitorCollaborators collaborators(ProcessControl& processControl, IncidentLedger& incidents, Notifier& notices)
    {
        return MonitorCollaborators{settings, clock, scheduler, processControl, incidents, notices,
                                    temperature, cleaner, battery, advisor, profiles};
    }
    MonitorCollaborators collaborators() { return collaborators(control, ledger, notifier); }
};

// The readers pointed at a fixture tree (or the machine).
struct FixtureReaders {
    explicit FixtureReaders(const QString& procRoot, const QString& sysRoot = QStringLiteral("/nonexistent"),
                            const QString& volume = QStringLiteral("/"))
        : cpu(procRoot), memory(procRoot), volumeSource(volume), thermal(sysRoot), processes(procRoot)
    {
    }
    ProcHostCpuSource cpu;
    ProcMemorySource memory;
    StatvfsVolumeSource volumeSource;
    SysfsThermalStateSource thermal;
    ProcfsProcessTable processes;
    SamplerPlatform platform() { return SamplerPlatform{cpu, memory, volumeSource, thermal, processes}; }
};
