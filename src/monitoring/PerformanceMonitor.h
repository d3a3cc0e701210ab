#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"
#include "monitoring/MonitorState.h"
#include "monitoring/SampleCollector.h"

#include <QHash>
#include <QSet>
#include <QObject>
#include <memory>
#include <optional>

class AppSettings;
class AutoProfileChoice;
class BatteryLevelSource;
class CacheCleaner;
class Clock;
class IncidentLedger;
class Notifier;
class ProcessControl;
class SerialQueue;
class TemperatureSource;
class ThrottleAdvisor;

// Everything the sampling engine works with besides the readers.
struct MonitorCollaborators {
    AppSettings& settings;
    const Clock& clock;
    Scheduler& scheduler;
    ProcessControl& processControl;
    IncidentLedger& incidents;
    Notifier& notifier;
    TemperatureSource& temperature;
    CacheCleaner& cleaner;
    BatteryLevelSource& battery;
    ThrottleAdvisor& advisor;
    AutoProfileChoice& profiles;
};

// Samples the machine on a timer, publishes the snapshot, health score, process list and
// histories, and takes the automatic actions each sample calls for. Main thread; the
// sampling itself runs on its own serial queue, so two samples never overlap.
class PerformanceMonitor final : public QObject, public MonitorState, public Lifecycle {
    Q_OBJECT
public:
    static constexpr int actionHistoryLimit = 500;
    // The longest sampling interval the settings window offers; a longer one edited into the
    // settings file is held here.
    static constexpr std::chrono::seconds longestPollInterval{60};

    PerformanceMonitor(SamplerPlatform platform, MonitorCollaborators collaborators, QObject* parent = nullptr);
    ~PerformanceMonitor() override;

    static PerformanceMonitor& shared();

    void start() override { startMonitoring(); }
    void stop() override { stopMonitoring(); }

    void startMonitoring();
    void stopMonitoring();
    // Queues one sample; its results are published on the main thread when it is done.
    void poll();
    void runSafeCleanup();

    // MonitorState
    PerformanceSnapshot currentSnapshot() const override { return m_currentSnapshot; }
    HealthScore currentHealth() const override { return m_currentHealth; }
    QList<ProcessInfoItem> topProcesses() const override { return m_topProcesses; }
    QList<ProcessInfoItem> watchedProcesses() const override { return m_watchedProcesses; }
    // Exact process names each sample also reports, wherever they rank (the sync clients).
    void watchProcessNames(const QStringList& names);
    void logAction(const ActionRecord& record) override;

    const QList<CPUDataPoint>& cpuHistory() const { return m_cpuHistory; }
    const QList<MemoryDataPoint>& memoryHistory() const { return m_memoryHistory; }
    const QList<ActionRecord>& actionHistory() const { return m_actionHistory; }
    bool isMonitoring() const { return m_isMonitoring; }
    qint64 pollCount() const { return m_pollCount; }

    void setCurrentSnapshot(const PerformanceSnapshot& snapshot);
    void setCurrentHealth(const HealthScore& health);

    // Publishes a finished sample and runs the automatic actions (main thread).
    void applySample(const Sample& sample);
    void evaluateAutomaticActions(const PerformanceSnapshot& snapshot, const HealthScore& health);

Q_SIGNALS:
    void snapshotChanged();
    void healthChanged();
    void topProcessesChanged();
    void historiesChanged();
    void actionHistoryChanged();
    void isMonitoringChanged();
    // After a sample was published and its automatic actions ran.
    void sampleApplied();

private:
    SampleInputs sampleInputs() const;
    void scheduleTimer();
    void throttleRunaways(const PerformanceSnapshot& snapshot);
    void raiseDiskAlarms(const PerformanceSnapshot& snapshot);
    void runEmergencyStep();
    void logCleaned(const QList<CleanupTarget>& targets, ActionType type, bool automatic);
    void maybeSwitchProfile(const Sample& sample);

    MonitorCollaborators m_c;

    PerformanceSnapshot m_currentSnapshot;
    HealthScore m_currentHealth;
    QList<CPUDataPoint> m_cpuHistory;
    QList<MemoryDataPoint> m_memoryHistory;
    QList<ActionRecord> m_actionHistory;
    QList<ProcessInfoItem> m_topProcesses;
    QList<QByteArray> m_watchedNames;
    // The protected names, lower-cased, until the setting changes.
    mutable std::optional<QStringList> m_protectedLowerCased;
    QList<ProcessInfoItem> m_watchedProcesses;
    bool m_isMonitoring = false;
    WorkHandle m_timer;
    QHash<int32_t, QDateTime> m_runawayTracking;
    // Processes (pid, start time) whose priority could not be changed: tried and logged once.
    QSet<QPair<int32_t, uint64_t>> m_failedThrottles;
    qint64 m_pollCount = 0;

    // Declared last: destroyed first, so no sample or cleanup is still running when the
    // state above goes.
    std::unique_ptr<SampleCollector> m_collector;
    std::unique_ptr<SerialQueue> m_cleanupQueue;
    std::unique_ptr<SerialQueue> m_samplerQueue;
};
