#pragma once

#include "core/Lifecycle.h"
#include "core/Models.h"
#include "core/Result.h"
#include "core/Scheduler.h"
#include "optimisation/CloudSyncPause.h"
#include "platform/ProcessControl.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUuid>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class Clock;
class MonitorState;
class ProcessTable;

enum class SyncState { running, throttled, paused };
// The raw values are also the texts shown.
QString syncStateRawValue(SyncState state);
std::optional<SyncState> syncStateFromRaw(const QString& raw);

struct ThrottleEvent {
    QUuid id;
    QDateTime timestamp;
    QString processName;
    double cpuBefore = 0;
    QString action;
};

// Keeps the cloud-sync clients from loading the machine: every 5 s it measures them, and when
// the busiest has stayed above 50 % CPU for 15 s it lowers their priority and briefly stops
// those above 70 %. On request it stops all of them for a while (AI workload mode clears the
// way this way) and continues them afterwards. Only processes are touched, never sync data.
// Main thread only. The periodic measurement reads what the sampler published (the clients are
// among its watched names); a throttle, pause or resume reads the process table afresh.
class iCloudManager final : public QObject, public Lifecycle, public CloudSyncPause {
    Q_OBJECT
public:
    static constexpr double monitorInterval = 5.0;
    static constexpr double cpuThreshold = 50.0;
    static constexpr double sustainedSeconds = 15.0;
    static constexpr double stopThreshold = 70.0;
    static constexpr double stopSeconds = 2.0;
    static constexpr double throttledSeconds = 30.0;
    static constexpr int maxHistory = 100;
    // The sync clients, matched by their exact process name.
    static const QStringList& iCloudProcesses();
    static const QString& allProcessesName();

    struct Collaborators {
        MonitorState& monitor;
        // Read afresh when clients are throttled, paused or resumed.
        ProcessTable& processTable;
        ProcessControl& processes;
        const Clock& clock;
        Scheduler& scheduler;
    };

    struct Measurement {
        double cpu = 0;
        double memoryMB = 0;
        int32_t pid = 0;
        uint64_t startTime = 0;
    };

    explicit iCloudManager(Collaborators collaborators, QObject* parent = nullptr);
    ~iCloudManager() override;
    static iCloudManager& shared();

    void start() override { startMonitoring(); }
    // Cancels the monitor and continues every process this instance left stopped.
    void stop() override;

    void startMonitoring();
    void stopMonitoring();

    void pause(double seconds) override;
    void resume();
    QString pauseRemainingText() const;

    void sample();
    void checkAutoThrottle(double cpu, double memoryMB);
    void throttle(const QString& reason);
    // CPU, memory and pid of one process: the first top process named exactly `name`, else the
    // first such process of the table (with 0 % CPU, as it is not among the busiest).
    Measurement measureDaemon(const QString& name, const QList<ProcessInfoItem>& topProcesses);

    SyncState syncState() const { return m_syncState; }
    double fileproviderdCPU() const { return m_fileproviderdCPU; }
    double fileproviderdMemoryMB() const { return m_fileproviderdMemoryMB; }
    bool autoThrottleEnabled() const { return m_autoThrottleEnabled; }
    QList<ThrottleEvent> throttleHistory() const { return m_throttleHistory; }
    int totalThrottles() const { return m_totalThrottles; }
    std::optional<QDateTime> lastThrottleDate() const { return m_lastThrottleDate; }
    std::optional<QDateTime> pauseEndDate() const { return m_pauseEndDate; }
    std::optional<QDateTime> highCPUStartTime() const { return m_highCPUStartTime; }
    bool isMonitoring() const { return m_monitorTimer != nullptr; }

Q_SIGNALS:
    // Any published value changed.
    void changed();

private:
    struct Stopped {
        QString name;
        std::shared_ptr<ProcessHandle> handle;
    };

    // measureDaemon for each name, with one walk of the process table.
    QList<Measurement> measureAll(const QStringList& names, const QList<ProcessInfoItem>& topProcesses);
    ProcessStatus stopProcess(const QString& name, ProcessIdentity process);
    ProcessStatus continueProcess(const Stopped& stopped);
    void insertEvent(const QString& processName, double cpu, const QString& action);
    void setSyncState(SyncState state);
    void resumeStoppedProcesses();

    Collaborators m_c;
    std::mutex m_tableLock;

    SyncState m_syncState = SyncState::running;
    double m_fileproviderdCPU = 0;
    double m_fileproviderdMemoryMB = 0;
    bool m_autoThrottleEnabled = true;
    QList<ThrottleEvent> m_throttleHistory;
    int m_totalThrottles = 0;
    std::optional<QDateTime> m_lastThrottleDate;
    WorkHandle m_monitorTimer;
    WorkHandle m_pauseTimer;
    std::optional<QDateTime> m_pauseEndDate;
    std::optional<QDateTime> m_highCPUStartTime;
    // Processes this instance stopped and has not continued yet, by pid.
    std::map<int32_t, Stopped> m_stopped;
};
