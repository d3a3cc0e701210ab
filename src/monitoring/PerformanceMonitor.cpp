#include "monitoring/PerformanceMonitor.h"

#include "core/AppSettings.h"
#include "core/ByteCountFormatter.h"
#include "core/Clock.h"
#include "core/Dates.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/SerialQueue.h"
#include "monitoring/AutoProfileChoice.h"
#include "monitoring/BatteryLevelSource.h"
#include "monitoring/CacheCleaner.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorRules.h"
#include "monitoring/Notifier.h"
#include "monitoring/TemperatureSource.h"
#include "monitoring/ThrottleAdvisor.h"
#include "platform/ProcessControl.h"

#include <QSet>

using namespace std::chrono_literals;

namespace {
constexpr int lowestNice = 19;
constexpr qsizetype failedThrottleMemory = 1024;
}  // namespace

PerformanceMonitor::PerformanceMonitor(SamplerPlatform platform, MonitorCollaborators collaborators, QObject* parent)
    : QObject(parent),
      m_c(collaborators),
      m_collector(std::make_unique<SampleCollector>(platform)),
      m_cleanupQueue(std::make_unique<SerialQueue>(QStringLiteral("app.veltranmoor.cleanup"))),
      m_samplerQueue(std::make_unique<SerialQueue>(QStringLiteral("app.veltranmoor.sampler")))
{
    const QDateTime now = m_c.clock.now();
    m_currentHealth.score = m_currentHealth.cpuScore = m_currentHealth.memoryScore = m_currentHealth.diskScore =
        m_currentHealth.thermalScore = 100;
    m_currentHealth.timestamp = now;
    m_currentSnapshot.timestamp = now;
    m_currentSnapshot.memoryTotal = 16.0;
    m_currentSnapshot.diskTotal = 500000000000ULL;

    // The timer follows the interval when it changes, not only at the next start.
    connect(&m_c.settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("pollingIntervalSeconds") && m_isMonitoring) scheduleTimer();
        if (key == QLatin1String("protectedProcessesData")) m_protectedLowerCased.reset();
    });
}

PerformanceMonitor::~PerformanceMonitor()
{
    // Let running work finish while everything it touches still exists; what it posts back
    // is discarded with this object.
    m_samplerQueue.reset();
    m_cleanupQueue.reset();
    if (m_timer) m_timer->cancel();
}

void PerformanceMonitor::scheduleTimer()
{
    if (m_timer) m_timer->cancel();
    const double seconds = m_c.settings.pollingIntervalSeconds();
    auto interval = secondsToMs(seconds);
    // A damaged or zero setting must not turn the timer into a busy loop, nor a huge one stop it.
    if (interval < 1s) interval = 1s;
    if (interval > longestPollInterval) {
        interval = longestPollInterval;
        Log::line(QStringLiteral("[Veltranmoor] pollingIntervalSeconds %1 is above %2 s: sampling every %2 s")
                      .arg(QString::number(seconds, 'g', 12))
                      .arg(longestPollInterval.count()));
    }
    m_timer = m_c.scheduler.every(interval, this, [this] { poll(); });
}

void PerformanceMonitor::startMonitoring()
{
    if (m_isMonitoring) return;
    m_isMonitoring = true;
    Q_EMIT isMonitoringChanged();
    scheduleTimer();
    poll();
    const ActionRecord record = ActionRecord::make(ActionType::systemCheck, QStringLiteral("Veltranmoor"),
                                                   QStringLiteral("Monitoring started"), m_c.clock.now(), true);
    postTo(this, [this, record] { logAction(record); });
}

void PerformanceMonitor::stopMonitoring()
{
    if (m_timer) m_timer->cancel();
    m_timer.reset();
    const bool was = m_isMonitoring;
    m_isMonitoring = false;
    if (was) Q_EMIT isMonitoringChanged();
    SampleCollector* collector = m_collector.get();
    m_samplerQueue->async([collector] { collector->reset(); });
}

void PerformanceMonitor::watchProcessNames(const QStringList& names)
{
    m_watchedNames.clear();
    for (const QString& name : names) m_watchedNames.append(name.toUtf8());
}

SampleInputs PerformanceMonitor::sampleInputs() const
{
    SampleInputs in;
    in.now = m_c.clock.now();
    in.cpuThreshold = m_c.settings.cpuThreshold();
    // Decoded when the setting changes, not on every sample.
    if (!m_protectedLowerCased) {
        QStringList lower;
        for (const QString& name : m_c.settings.protectedProcesses()) lower.append(name.toLower());
        m_protectedLowerCased = lower;
    }
    in.protectedLowerCased = *m_protectedLowerCased;
    in.cpuTempC = m_c.temperature.cpuTempC();
    in.throttleTripC = m_c.temperature.throttleTripC();
    in.watchedNames = m_watchedNames;
    return in;
}

void PerformanceMonitor::poll()
{
    SampleCollector* collector = m_collector.get();
    m_samplerQueue->async([this, collector, inputs = sampleInputs()] {
        Sample sample = collector->takeSample(inputs);
        postTo(this, [this, sample = std::move(sample)] { applySample(sample); });
    });
}

void PerformanceMonitor::runSafeCleanup()
{
    CacheCleaner* cleaner = &m_c.cleaner;
    m_cleanupQueue->async([this, cleaner] {
        const QList<CleanupTarget> cleaned = cleaner->cleanSafeTargets();
        postTo(this, [this, cleaned] {
            logCleaned(cleaned, ActionType::cacheCleared, false);
            poll();
        });
    });
}

void PerformanceMonitor::logAction(const ActionRecord& record)
{
    // What the engines do on their own is also told on the console, so a run without a
    // window shows it.
    if (record.wasAutomatic)
        Log::line(QStringLiteral("[Veltranmoor] %1: %2 \u2014 %3")
                      .arg(ActionRecord::rawValue(record.action), record.target, record.detail));
    m_actionHistory.prepend(record);
    if (m_actionHistory.size() > actionHistoryLimit) m_actionHistory.resize(actionHistoryLimit);
    Q_EMIT actionHistoryChanged();
}

void PerformanceMonitor::setCurrentSnapshot(const PerformanceSnapshot& snapshot)
{
    m_currentSnapshot = snapshot;
    Q_EMIT snapshotChanged();
}

void PerformanceMonitor::setCurrentHealth(const HealthScore& health)
{
    m_currentHealth = health;
    Q_EMIT healthChanged();
}

void PerformanceMonitor::applySample(const Sample& sample)
{
    setCurrentSnapshot(sample.snapshot);
    if (sample.health.score != m_currentHealth.score) setCurrentHealth(sample.health);
    m_topProcesses = sample.snapshot.topProcesses;
    m_watchedProcesses = sample.watched;
    Q_EMIT topProcessesChanged();

    const QDateTime now = m_c.clock.now();
    m_cpuHistory.append(CPUDataPoint{QUuid::createUuid(), now, sample.cpu});
    m_memoryHistory.append(MemoryDataPoint{QUuid::createUuid(), now, sample.memoryPressure});
    const QDateTime cutoff = now.addMSecs(-qint64(m_c.settings.historyRetentionHours() * 3600.0 * 1000.0));
    auto older = [&](const auto& point) { return point.timestamp < cutoff; };
    m_cpuHistory.removeIf(older);
    m_memoryHistory.removeIf(older);
    Q_EMIT historiesChanged();

    m_c.advisor.submitSnapshot(sample.snapshot, sample.snapshot.topProcesses);

    ++m_pollCount;
    if (m_pollCount % 12 == 0) maybeSwitchProfile(sample);

    evaluateAutomaticActions(sample.snapshot, sample.health);
    Q_EMIT sampleApplied();
}

void PerformanceMonitor::maybeSwitchProfile(const Sample& sample)
{
    QStringList names;
    for (const ProcessInfoItem& p : sample.snapshot.topProcesses) names.append(p.name);
    const int level = m_c.battery.batteryLevel();
    const bool charging = m_c.battery.isCharging();
    if (!m_c.profiles.autoSwitchEnabled()) return;
    const QString mode = m_c.profiles.detectModeFromRunningApps(level, charging, names, sample.cpu);
    if (mode == m_c.profiles.activeProfileName()) return;
    m_c.profiles.setLastAutoSwitchReason(MonitorRules::autoSwitchReason(mode, level, charging));
    m_c.profiles.switchProfile(mode);
}

void PerformanceMonitor::evaluateAutomaticActions(const PerformanceSnapshot& snapshot, const HealthScore& health)
{
    if (m_c.settings.autoThrottleEnabled()) throttleRunaways(snapshot);

    // Whatever the settings, a process that is not a listed runaway in this sample starts its
    // wait again.
    QSet<int32_t> runaways;
    for (const ProcessInfoItem& p : snapshot.topProcesses) {
        if (p.isRunaway) runaways.insert(p.pid);
    }
    m_runawayTracking.removeIf([&](const auto& it) { return !runaways.contains(it.key()); });

    if (m_c.settings.autoCleanupEnabled()) raiseDiskAlarms(snapshot);

    if (health.score < 50 && m_c.settings.notificationsEnabled()) m_c.notifier.notifyHealthWarning(health.score);
}

void PerformanceMonitor::throttleRunaways(const PerformanceSnapshot& snapshot)
{
    const QDateTime now = m_c.clock.now();
    const double sustained = m_c.settings.sustainedTimeBeforeAction();
    for (const ProcessInfoItem& p : snapshot.topProcesses) {
        if (!p.isRunaway || p.isProtected || MonitorRules::isUntouchable(p)) continue;
        // Already at the lowest priority: throttling again would change nothing.
        if (p.nice >= lowestNice) continue;
        if (m_failedThrottles.contains({p.pid, p.startTime})) continue;
        const ThrottleVerdict verdict = m_c.advisor.judgeProcessCPU(p);
        if (verdict.leaveAlone) continue;
        const auto tracked = m_runawayTracking.constFind(p.pid);
        if (tracked == m_runawayTracking.constEnd()) {
            m_runawayTracking.insert(p.pid, now);
            continue;
        }
        const double elapsed = Dates::secondsBetween(*tracked, now);
        if (elapsed < sustained) continue;

        const ProcessStatus lowered = m_c.processControl.lowerPriority({p.pid, p.startTime}, ProcessOwner::thisUser);
        if (lowered.leftAlone()) {
            // Gone since the sample, or another user's: nothing was done, nothing is logged.
            m_runawayTracking.remove(p.pid);
            continue;
        }
        if (lowered) {
            m_c.incidents.recordIncident(p.name);
            m_c.advisor.throttleSucceeded(p);
        }
        QString detail = MonitorRules::throttleDetail(p.pid, p.cpuUsage, elapsed, verdict.reason);
        if (!lowered) {
            detail += QStringLiteral(" \u2014 failed: ") + lowered.error();
            if (m_failedThrottles.size() >= failedThrottleMemory) m_failedThrottles.clear();
            m_failedThrottles.insert({p.pid, p.startTime});
        }
        const ActionRecord record = ActionRecord::make(ActionType::processThrottled, p.name, detail, now, true);
        postTo(this, [this, record] { logAction(record); });
        m_runawayTracking.remove(p.pid);
        if (lowered && m_c.settings.notificationsEnabled()) m_c.notifier.notifyProcessThrottled(p.name, p.cpuUsage);
    }
}

void PerformanceMonitor::raiseDiskAlarms(const PerformanceSnapshot& snapshot)
{
    // A volume that could not be read is not a full one.
    if (snapshot.diskTotal == 0) return;
    const double free = MonitorRules::freeGB(snapshot);
    // "/" on a file system of its own is named when it is low and fuller than the home folder's
    // (the cleanup cannot free it, so it never starts one alone).
    std::optional<double> rootFree;
    if (const auto root = MonitorRules::rootFreeGB(snapshot); root && *root < free && *root < m_c.settings.diskWarningThresholdGB()) {
        rootFree = root;
    }
    const bool notices = m_c.settings.notificationsEnabled();
    if (free < m_c.settings.diskCriticalThresholdGB()) {
        if (notices) m_c.notifier.notifyEmergencyCleanup(free, rootFree);
        m_c.scheduler.after(5s, this, [this] { runEmergencyStep(); });
    } else if (free < m_c.settings.diskWarningThresholdGB()) {
        if (notices) m_c.notifier.notifyLowDisk(free, rootFree);
    } else if (rootFree && notices) {
        m_c.notifier.notifyLowRootDisk(*rootFree);
    }
}

void PerformanceMonitor::runEmergencyStep()
{
    if (!m_c.settings.autoCleanupEnabled()) return;
    if (m_currentSnapshot.diskTotal == 0) return;
    if (MonitorRules::freeGB(m_currentSnapshot) >= m_c.settings.diskCriticalThresholdGB()) return;
    CacheCleaner* cleaner = &m_c.cleaner;
    m_cleanupQueue->async([this, cleaner] {
        const QList<CleanupTarget> cleaned = cleaner->emergencyCleanup();
        postTo(this, [this, cleaned] { logCleaned(cleaned, ActionType::emergencyCleanup, true); });
    });
}

void PerformanceMonitor::logCleaned(const QList<CleanupTarget>& targets, ActionType type, bool automatic)
{
    const QDateTime now = m_c.clock.now();
    for (const CleanupTarget& t : targets) {
        logAction(ActionRecord::make(type, t.name,
                                     QStringLiteral("Moved ") + formatByteCount(qint64(t.sizeBytes)) +
                                         QStringLiteral(" to the Trash"),
                                     now, automatic));
    }
}
