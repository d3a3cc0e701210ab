#include "optimisation/AIEngine.h"

#include "core/CFormat.h"
#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Dates.h"
#include "core/Executor.h"
#include "core/MainThread.h"
#include "monitoring/IncidentLedger.h"

#include <algorithm>
#include <cmath>

namespace {

// Hands work to the thread of a QObject through its event loop.
class ObjectThreadExecutor final : public Executor {
public:
    explicit ObjectThreadExecutor(QObject* context) : m_context(context) {}
    void async(std::function<void()> work) override { postTo(m_context, std::move(work)); }

private:
    QObject* m_context;
};

template <typename T>
void keepLast(QList<T>& list, qsizetype above, qsizetype keep)
{
    if (list.size() > above) list.remove(0, list.size() - keep);
}

}  // namespace

AIEngine::AIEngine(Collaborators collaborators, QObject* parent) : QObject(parent), m_c(std::move(collaborators))
{
    if (!m_c.mainQueue) m_ownMainQueue = std::make_unique<ObjectThreadExecutor>(this);
    m_main = m_c.mainQueue ? m_c.mainQueue : m_ownMainQueue.get();
    // Nothing runs on the queue yet, so the load needs no hop.
    loadPersistedState();
}

AIEngine::~AIEngine()
{
    // Queued learning still runs while the queue stops, but hands nothing more to the main
    // thread.
    m_alive.reset();
}

AIEngine::LearningState& AIEngine::stateOnQueue()
{
    Q_ASSERT(m_queue.isCurrent());
    return m_state;
}

void AIEngine::postToMain(std::function<void()> work) const
{
    std::weak_ptr<int> alive = m_alive;
    m_main->async([alive, work = std::move(work)] {
        if (alive.lock()) work();
    });
}

// --- Published state -------------------------------------------------------------------

void AIEngine::setInsights(QList<AIInsight> insights)
{
    m_insights = std::move(insights);
    Q_EMIT changed();
}

void AIEngine::setDetectedLeaks(QList<MemoryLeak> leaks)
{
    m_detectedLeaks = std::move(leaks);
    Q_EMIT changed();
}

void AIEngine::setSystemPersonality(const QString& text)
{
    m_systemPersonality = text;
    Q_EMIT changed();
}

void AIEngine::setPredictedDiskFullDate(std::optional<QDateTime> date)
{
    m_predictedDiskFullDate = std::move(date);
    Q_EMIT changed();
}

void AIEngine::publishBaselines(BaselineMap baselines)
{
    m_processBaselines = std::move(baselines);
    Q_EMIT changed();
}

void AIEngine::setPrediction(std::optional<QDateTime> AIEngine::*field, std::optional<QDateTime> value) const
{
    AIEngine* self = const_cast<AIEngine*>(this);
    postToMain([self, field, value] {
        self->*field = value;
        Q_EMIT self->changed();
    });
}

void AIEngine::publishInsights(const PassResult& result)
{
    m_detectedLeaks = result.leaks;
    m_anomalyCount = result.anomalyCount;
    m_processBaselines = result.baselines;
    m_systemPersonality = result.personality;
    m_learningLevel = result.level;
    m_quietHoursForMaintenance = result.quietHours;
    // A title already listed keeps its first detail and time.
    for (const AIInsight& insight : result.gathered) {
        const bool listed = std::any_of(m_insights.cbegin(), m_insights.cend(),
                                        [&](const AIInsight& i) { return i.title == insight.title; });
        if (!listed) m_insights.prepend(insight);
    }
    if (m_insights.size() > maxInsights) m_insights.resize(maxInsights);
    Q_EMIT changed();
}

// --- Main-thread entry points ----------------------------------------------------------

void AIEngine::submitSnapshot(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes)
{
    IngestContext context;
    context.now = m_c.clock.now();
    // Samples are ingested in submission order, so this count matches the queue's and the
    // settings and incidents the rule pass reads are copied only for the samples that run it.
    const bool rulePass = ++m_submitted % 6 == 0;
    if (rulePass) {
        context.preemptiveReliefEnabled = m_c.settings.preemptiveMemoryReliefEnabled();
        context.fahrenheit = m_c.settings.temperatureUnitFahrenheit();
        context.incidents = m_c.incidents.sortedIncidents();
    }
    std::weak_ptr<int> alive = m_alive;
    auto ingest = [this, alive, snapshot, processes, context = std::move(context)] {
        if (alive.lock()) ingestSnapshot(snapshot, processes, context);
    };
    // The samples between two rule passes are learned together when the pass's sample wakes
    // the queue (or anything else does first): one wake-up of the learner per pass rather than
    // one per sample. Nothing published waits on them; verdicts read the baselines as learned.
    if (rulePass) m_queue.async(std::move(ingest));
    else m_queue.asyncWhenWoken(std::move(ingest));
}

std::optional<ProcessBaseline> AIEngine::baselineFor(const QString& processName)
{
    // Under the baselines' own lock rather than on the queue: a verdict never waits behind a
    // sample that is being learned, and the main thread is not woken twice for it.
    std::lock_guard lock(m_baselinesMutex);
    const auto it = m_state.baselinesInternal.constFind(processName);
    if (it == m_state.baselinesInternal.constEnd()) return std::nullopt;
    return *it;
}

ThrottleVerdict AIEngine::judgeProcessCPU(const ProcessInfoItem& process)
{
    if (process.isProtected) return {QStringLiteral("Protected process"), true};
    const double cpu = process.cpuUsage;
    const double threshold = m_c.settings.cpuThreshold();
    const std::optional<ProcessBaseline> baseline = baselineFor(process.name);
    if (!baseline) {
        if (cpu > threshold) return {QStringLiteral("Exceeds threshold (no baseline yet)"), false};
        return {QStringLiteral("Within threshold"), true};
    }
    // A baseline is trusted only once it has seen real peaks over enough samples.
    if (baseline->maxCPU <= 80 || baseline->sampleCount < 21) {
        if (cpu > threshold) return {QStringLiteral("Exceeds CPU threshold"), false};
        return {QStringLiteral("Within normal range"), true};
    }
    if (cpu > baseline->avgCPU + 3 * std::max(baseline->stdDevCPU, 10.0) && cpu > 60) {
        return {QStringLiteral("Anomalous CPU: ") + cformat("%.0f%%", cpu) + QStringLiteral(" vs baseline ") +
                    cformat("%.0f%%", baseline->avgCPU),
                false};
    }
    return {QStringLiteral("High but within learned pattern"), true};
}

void AIEngine::scheduleThrottleAudit(const ProcessInfoItem& process)
{
    const PendingThrottleAudit audit{process.name, process.cpuUsage, m_c.clock.now()};
    const int32_t pid = process.pid;
    std::weak_ptr<int> alive = m_alive;
    m_queue.async([this, alive, pid, audit] {
        if (alive.lock()) m_state.pendingThrottleAudits.insert(pid, audit);
    });
}

// --- Queue side ------------------------------------------------------------------------

void AIEngine::ingestSnapshot(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes,
                              const IngestContext& context)
{
    LearningState& s = m_state;
    m_context = context;
    ++s.observationCount;
    const QDateTime& now = context.now;
    const int hour = now.toLocalTime().time().hour();

    const double diskPercent =
        snapshot.diskTotal != 0 ? double(snapshot.diskUsed) / double(snapshot.diskTotal) * 100.0 : 0.0;
    QList<SystemObservation>& hourList = s.hourlySnapshots[hour];
    hourList.append(SystemObservation{now, snapshot.cpuUsage, snapshot.memoryPressure, diskPercent});
    keepLast(hourList, 200, 200);

    for (const ProcessInfoItem& p : processes) {
        if (p.cpuUsage > 0.5 || p.memoryMB > 10) updateBaseline(p, hour);
    }

    QSet<int32_t> pids;
    pids.reserve(processes.size());
    for (const ProcessInfoItem& p : processes) {
        pids.insert(p.pid);
        if (p.memoryMB > 50) {
            QList<MemoryObservation>& series = s.memoryTracker[p.pid];
            series.append(MemoryObservation{now, p.memoryMB});
            keepLast(series, 120, 120);
        }
    }
    keepLivePids(s.memoryTracker, pids);
    keepLivePids(s.pendingThrottleAudits, pids);

    // Disk use moves slowly: one reading per few minutes lets the kept history (and the
    // forecast's last 100 readings) cover hours rather than the last quarter of an hour.
    if (s.diskGrowthHistory.isEmpty() || !(s.diskGrowthHistory.last().timestamp.secsTo(now) < diskReadingSpacingSeconds &&
                                           s.diskGrowthHistory.last().timestamp <= now)) {
        s.diskGrowthHistory.append(DiskHistoryEntry{now, snapshot.diskUsed});
        keepLast(s.diskGrowthHistory, 1000, 500);
    }
    s.lastDiskTotal = snapshot.diskTotal;
    s.memoryPressureHistory.append(MemoryPressureEntry{now, snapshot.memoryPressure});
    keepLast(s.memoryPressureHistory, 1000, 500);
    if (snapshot.cpuTempC) {
        s.thermalHistory.append(ThermalReading{double(now.toMSecsSinceEpoch()) / 1000.0, *snapshot.cpuTempC});
        keepLast(s.thermalHistory, 400, 200);
    }

    evaluateThrottleAudits(processes);
    if (s.observationCount % 6 == 0) runInsightRules(snapshot, processes);
    if (s.observationCount % 30 == 0) savePersistedState();
}

void AIEngine::updateBaseline(const ProcessInfoItem& process, int hour)
{
    std::lock_guard lock(m_baselinesMutex);
    auto it = m_state.baselinesInternal.find(process.name);
    if (it == m_state.baselinesInternal.end()) {
        it = m_state.baselinesInternal.insert(process.name, ProcessBaseline{.processName = process.name});
    }
    ProcessBaseline& b = *it;
    const double n = double(b.sampleCount);
    const double x = process.cpuUsage;
    const double m = process.memoryMB;
    const double newAvgCPU = (b.avgCPU * n + x) / (n + 1);
    // The spread of the first two samples is not counted: the deviation starts at the third.
    if (b.sampleCount >= 2) {
        const double variance = std::max(0.0, (b.stdDevCPU * b.stdDevCPU * (n - 1) + (x - b.avgCPU) * (x - newAvgCPU)) / n);
        b.stdDevCPU = std::sqrt(variance);
    }
    b.sampleCount += 1;
    b.maxCPU = std::max(b.maxCPU, x);
    b.maxMemoryMB = std::max(b.maxMemoryMB, m);
    b.avgMemoryMB = (b.avgMemoryMB * n + m) / (n + 1);
    b.avgCPU = newAvgCPU;
    const double w = std::max(double(b.sampleCount) / 24.0, 1.0);
    const double previous = b.hourlyAvgCPU.value(hour, 0.0);
    b.hourlyAvgCPU.insert(hour, (x + (w - 1) * previous) / w);
}

void AIEngine::evaluateThrottleAudits(const QList<ProcessInfoItem>& processes)
{
    if (m_state.pendingThrottleAudits.isEmpty()) return;
    const QHash<int32_t, ProcessInfoItem> byPid = processesByPid(processes);
    const QDateTime& now = m_context.now;
    QList<int32_t> dropped;
    for (auto it = m_state.pendingThrottleAudits.cbegin(); it != m_state.pendingThrottleAudits.cend(); ++it) {
        const double elapsed = Dates::secondsBetween(it->scheduledAt, now);
        if (elapsed < 30) continue;
        dropped.append(it.key());
        const auto process = byPid.constFind(it.key());
        if (elapsed > 90 || process == byPid.constEnd()) continue;
        const bool success = process->cpuUsage < std::max(0.7 * it->preThrottleCPU, 50.0);
        ThrottleStats& stats = m_state.throttleEffectiveness[it->processName];
        stats.attempts += 1;
        if (success) stats.successes += 1;
    }
    for (int32_t pid : dropped) m_state.pendingThrottleAudits.remove(pid);
}

void AIEngine::runInsightRules(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes)
{
    PassResult result;
    result.leaks = detectMemoryLeaks(processes);
    const QList<AIInsight> anomalies = detectCPUAnomalies(snapshot, processes);
    result.anomalyCount = int(anomalies.size());
    result.gathered = anomalies;
    auto add = [&](std::optional<AIInsight> insight) {
        if (insight) result.gathered.append(std::move(*insight));
    };
    add(predictDiskFull());
    add(predictMemoryPressure());
    add(firePreemptiveRelief(processes));
    add(detectUsagePattern());
    add(detectBottlenecks(snapshot, processes));
    add(predictThermalThrottling());
    add(detectWorkflow(processes));
    result.gathered.append(buildRecommendations(snapshot, processes, result.leaks));
    result.personality = updatePersonality();
    result.level = updateLearningLevel();
    result.quietHours = computeQuietHours();
    m_state.detectedLeaksInternal = result.leaks;
    result.baselines = m_state.baselinesInternal;
    postToMain([this, result = std::move(result)] { publishInsights(result); });
}

AIInsight AIEngine::makeInsight(AIInsight::InsightType type, const QString& title, const QString& detail,
                                AIInsight::Severity severity, bool actionable) const
{
    return AIInsight{.type = type,
                     .title = title,
                     .detail = detail,
                     .severity = severity,
                     .timestamp = m_context.now,
                     .actionable = actionable};
}

// --- Shared routines -------------------------------------------------------------------

double AIEngine::standardDeviation(const QList<double>& values)
{
    const qsizetype n = values.size();
    if (n < 2) return 0;
    double sum = 0;
    for (double v : values) sum += v;
    const double mean = sum / double(n);
    double squares = 0;
    for (double v : values) squares += (v - mean) * (v - mean);
    return std::sqrt(squares / double(n - 1));
}

std::optional<double> AIEngine::linearSlope(const QList<QPair<double, double>>& points)
{
    const qsizetype n = points.size();
    if (n < 2) return std::nullopt;
    // Relative to the first x, so epoch-sized times keep their precision.
    const double x0 = points.first().first;
    double su = 0, sy = 0, suy = 0, suu = 0;
    for (const auto& [x, y] : points) {
        const double u = x - x0;
        su += u;
        sy += y;
        suy += u * y;
        suu += u * u;
    }
    const double denominator = double(n) * suu - su * su;
    if (denominator == 0) return std::nullopt;
    return (double(n) * suy - su * sy) / denominator;
}

namespace {

double meanCPU(const QList<SystemObservation>& list)
{
    double sum = 0;
    for (const SystemObservation& o : list) sum += o.cpuUsage;
    return list.isEmpty() ? 0 : sum / double(list.size());
}

}  // namespace

QList<int> AIEngine::busyHours(const HourlySnapshots& hourly)
{
    QList<int> result;
    for (auto it = hourly.cbegin(); it != hourly.cend(); ++it) {
        if (it->size() >= 5 && meanCPU(*it) > 40) result.append(it.key());
    }
    return result;
}

QList<int> AIEngine::coveredHours(const HourlySnapshots& hourly)
{
    QList<int> result;
    for (auto it = hourly.cbegin(); it != hourly.cend(); ++it) {
        if (it->size() >= 10) result.append(it.key());
    }
    return result;
}

QHash<int32_t, ProcessInfoItem> AIEngine::processesByPid(const QList<ProcessInfoItem>& processes)
{
    QHash<int32_t, ProcessInfoItem> result;
    result.reserve(processes.size());
    for (const ProcessInfoItem& p : processes) result.insert(p.pid, p);
    return result;
}
