#pragma once

#include "core/Models.h"
#include "core/SerialQueue.h"
#include "monitoring/ThrottleAdvisor.h"
#include "optimisation/AIInsight.h"
#include "optimisation/AIRecords.h"
#include "optimisation/MemoryLeak.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class AppSettings;
class Clock;
class Executor;
class IncidentLedger;
class MonitorState;
class ProcessControl;

// The learning layer. Every sample is handed to its own serial queue ("app.veltranmoor.ai"),
// where it becomes hourly observations, per-name baselines, per-pid memory series and system
// histories; every 6th sample runs the rule pass (leaks, forecasts, insights, personality) and
// every 30th saves the learned state. The learning state is touched on that queue only; what
// the windows read is published on the main thread.
class AIEngine final : public QObject, public ThrottleAdvisor {
    Q_OBJECT
public:
    static constexpr int maxInsights = 50;
    // Disk readings are kept at most one per this many seconds, and the disk-full forecast
    // waits until the readings it fits span at least six hours.
    static constexpr int64_t diskReadingSpacingSeconds = 240;
    static constexpr double diskForecastMinSpanSeconds = 6 * 3600.0;

    struct Collaborators {
        AppSettings& settings;  // read on the main thread only
        const Clock& clock;     // read on the main thread only
        MonitorState& monitor;  // the action history
        IncidentLedger& incidents;
        ProcessControl& processControl;  // lowers priorities from the engine's queue
        // Starts the gated, measured memory relief (main thread).
        std::function<void()> runMemoryRelief;
        // The session's own services (the session bus, the notification daemon) that the
        // relief never slows down; asked on the engine's queue when the relief fires.
        std::function<QSet<int32_t>()> sessionServices;
        // Where published values are written; by default this object's thread, through its
        // event loop.
        Executor* mainQueue = nullptr;
        // The folder of the five history files; by default the AI folder of the data home.
        QString dataDirectory;
    };

    // What the main thread hands over with each sample, so the queue never reads main-thread
    // state.
    struct IngestContext {
        QDateTime now;
        bool preemptiveReliefEnabled = true;
        bool fahrenheit = false;
        QList<QPair<QString, int>> incidents;  // most first
    };

    // The working state; touched only on the engine's queue.
    struct LearningState {
        QHash<int32_t, QList<MemoryObservation>> memoryTracker;
        HourlySnapshots hourlySnapshots;
        QList<DiskHistoryEntry> diskGrowthHistory;
        QList<MemoryPressureEntry> memoryPressureHistory;
        QList<ThermalReading> thermalHistory;
        int64_t observationCount = 0;
        QHash<int32_t, PendingThrottleAudit> pendingThrottleAudits;
        ThrottleStatsMap throttleEffectiveness;
        BaselineMap baselinesInternal;  // changed under m_baselinesMutex (baselineFor reads it from any thread)
        QList<MemoryLeak> detectedLeaksInternal;
        std::optional<QDateTime> lastPreemptiveReliefAt;
        // The queue's own copy of the forecast spike, so the relief rule reads what the trend
        // rule of the same pass decided rather than racing the main thread's copy.
        std::optional<QDateTime> predictedMemoryPressureSpike;
        uint64_t lastDiskTotal = 0;
    };

    explicit AIEngine(Collaborators collaborators, QObject* parent = nullptr);
    ~AIEngine() override;

    static AIEngine& shared();
    static QString queueLabel() { return QStringLiteral("app.veltranmoor.ai"); }

    // Published state (main thread).
    const QList<AIInsight>& insights() const { return m_insights; }  // newest first
    const QList<MemoryLeak>& detectedLeaks() const { return m_detectedLeaks; }
    const BaselineMap& processBaselines() const { return m_processBaselines; }
    int processBaselineCount() const { return int(m_processBaselines.size()); }
    int anomalyCount() const { return m_anomalyCount; }
    const std::optional<QDateTime>& predictedDiskFullDate() const { return m_predictedDiskFullDate; }
    const std::optional<QDateTime>& predictedMemoryPressureSpike() const { return m_predictedMemoryPressureSpike; }
    const QString& systemPersonality() const { return m_systemPersonality; }
    double learningLevel() const { return m_learningLevel; }
    const QList<int>& quietHoursForMaintenance() const { return m_quietHoursForMaintenance; }

    // Main-thread writers of the published state.
    void setInsights(QList<AIInsight> insights);
    void setDetectedLeaks(QList<MemoryLeak> leaks);
    void setSystemPersonality(const QString& text);
    void setPredictedDiskFullDate(std::optional<QDateTime> date);
    void publishBaselines(BaselineMap baselines);

    // ThrottleAdvisor (main thread).
    void submitSnapshot(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes) override;
    ThrottleVerdict judgeProcessCPU(const ProcessInfoItem& process) override;
    void throttleSucceeded(const ProcessInfoItem& process) override { scheduleThrottleAudit(process); }

    // Any thread. The learned baseline of that name as the queue last updated it.
    std::optional<ProcessBaseline> baselineFor(const QString& processName);
    void scheduleThrottleAudit(const ProcessInfoItem& process);

    // Waits until everything submitted so far has been learned and saved (tests, benchmarks).
    void waitForQueue()
    {
        m_queue.sync([] {});
        m_saveQueue.sync([] {});
    }
    // Runs `work` on the queue and waits; `work` may use the queue-side members below.
    void syncOnQueue(const std::function<void()>& work) { m_queue.sync(work); }
    LearningState& stateOnQueue();

    // --- Queue side ---------------------------------------------------------------------
    // The sample context the rules read (set by each ingest; tests set it to run one rule).
    void setContextOnQueue(const IngestContext& context) { m_context = context; }
    void ingestSnapshot(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes,
                        const IngestContext& context);
    void updateBaseline(const ProcessInfoItem& process, int hour);
    void evaluateThrottleAudits(const QList<ProcessInfoItem>& processes);
    void runInsightRules(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes);

    QList<MemoryLeak> detectMemoryLeaks(const QList<ProcessInfoItem>& processes) const;
    std::optional<AIInsight> predictDiskFull();
    std::optional<AIInsight> predictMemoryPressure();
    std::optional<AIInsight> firePreemptiveRelief(const QList<ProcessInfoItem>& processes);
    std::optional<AIInsight> predictThermalThrottling() const;

    QList<AIInsight> detectCPUAnomalies(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes) const;
    std::optional<AIInsight> detectUsagePattern() const;
    std::optional<AIInsight> detectBottlenecks(const PerformanceSnapshot& snapshot,
                                               const QList<ProcessInfoItem>& processes) const;
    std::optional<AIInsight> detectWorkflow(const QList<ProcessInfoItem>& processes) const;
    QList<AIInsight> buildRecommendations(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes,
                                          const QList<MemoryLeak>& leaks) const;
    QString updatePersonality() const;
    double updateLearningLevel() const;
    QList<int> computeQuietHours() const;

    void loadPersistedState();
    // Copies the state to save and hands it to the writer, so a verdict never waits behind
    // the disk; the writer writes the newest copy, one save at a time.
    void savePersistedState();
    QString aiDataDirectory() const;

    // --- Shared routines ----------------------------------------------------------------
    static double standardDeviation(const QList<double>& values);
    static std::optional<double> linearSlope(const QList<QPair<double, double>>& points);
    static QList<int> busyHours(const HourlySnapshots& hourly);
    static QList<int> coveredHours(const HourlySnapshots& hourly);
    template <typename T>
    static void keepLivePids(QHash<int32_t, T>& map, const QSet<int32_t>& pids)
    {
        map.removeIf([&](const auto& it) { return !pids.contains(it.key()); });
    }
    static QHash<int32_t, ProcessInfoItem> processesByPid(const QList<ProcessInfoItem>& processes);
    static QString explainProcessLoad(const QString& name);
    static bool anyNameContains(const QStringList& lowerNames, const QStringList& fragments);
    // A lowercased process name against one fragment of the name lists: a substring, except
    // for the fragments that name a single program, which must be the whole name.
    static bool nameMatches(const QString& lowerName, const QString& fragment);
    static QString hourLabel(int hour);  // 0 -> 12AM, 15 -> 3PM

    // The published results of one rule pass.
    struct PassResult {
        QList<MemoryLeak> leaks;
        int anomalyCount = 0;
        BaselineMap baselines;
        QString personality;
        double level = 0;
        QList<int> quietHours;
        QList<AIInsight> gathered;
    };
    void publishInsights(const PassResult& result);

Q_SIGNALS:
    void changed();

private:
    AIInsight makeInsight(AIInsight::InsightType type, const QString& title, const QString& detail,
                          AIInsight::Severity severity, bool actionable) const;
    void postToMain(std::function<void()> work) const;
    void setPrediction(std::optional<QDateTime> AIEngine::*field, std::optional<QDateTime> value) const;

    Collaborators m_c;
    std::unique_ptr<Executor> m_ownMainQueue;
    Executor* m_main;
    // Work handed to the main thread checks this before touching the engine.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    int64_t m_submitted = 0;

    // Published (main thread).
    QList<AIInsight> m_insights;
    QList<MemoryLeak> m_detectedLeaks;
    BaselineMap m_processBaselines;
    int m_anomalyCount = 0;
    std::optional<QDateTime> m_predictedDiskFullDate;
    std::optional<QDateTime> m_predictedMemoryPressureSpike;
    QString m_systemPersonality = QStringLiteral("Learning...");
    double m_learningLevel = 0;
    QList<int> m_quietHoursForMaintenance;

    // Queue side.
    LearningState m_state;
    // The queue changes the baselines under this lock and reads them without it; other threads
    // read them under it.
    mutable std::mutex m_baselinesMutex;
    IngestContext m_context;

    struct SavePayload;
    void writePendingSave();
    std::mutex m_saveMutex;
    std::shared_ptr<const SavePayload> m_pendingSave;  // guarded by m_saveMutex
    SerialQueue m_saveQueue{queueLabel() + QStringLiteral(".save")};

    // Last, so it is stopped first: its thread finishes queued work while the state exists.
    SerialQueue m_queue{queueLabel()};
};
