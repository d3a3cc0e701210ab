#include "optimisation/iCloudManager.h"

#include "core/CFormat.h"
#include "core/Clock.h"
#include "core/Uuid.h"
#include "monitoring/MonitorState.h"
#include "platform/ProcessControl.h"
#include "platform/ProcessTable.h"

#include <csignal>
#include <vector>

namespace {

const QString failedSeparator = QStringLiteral(" \u2014 failed: ");

QString joined(const QStringList& failures) { return failures.join(QStringLiteral("; ")); }

}  // namespace

QString syncStateRawValue(SyncState state)
{
    switch (state) {
    case SyncState::running: return QStringLiteral("Running");
    case SyncState::throttled: return QStringLiteral("Throttled");
    case SyncState::paused: return QStringLiteral("Paused");
    }
    return {};
}

std::optional<SyncState> syncStateFromRaw(const QString& raw)
{
    for (SyncState s : {SyncState::running, SyncState::throttled, SyncState::paused}) {
        if (syncStateRawValue(s) == raw) return s;
    }
    return std::nullopt;
}

const QStringList& iCloudManager::iCloudProcesses()
{
    static const QStringList names = {QStringLiteral("nextcloud"), QStringLiteral("owncloud"),
                                      QStringLiteral("dropbox"),   QStringLiteral("onedrive"),
                                      QStringLiteral("insync"),    QStringLiteral("megasync"),
                                      QStringLiteral("syncthing")};
    return names;
}

const QString& iCloudManager::allProcessesName()
{
    static const QString name = QStringLiteral("All cloud sync");
    return name;
}

iCloudManager::iCloudManager(Collaborators collaborators, QObject* parent)
    : QObject(parent), m_c(std::move(collaborators))
{
}

iCloudManager::~iCloudManager()
{
    // Never leave a sync client frozen behind us, whoever ends this instance.
    resumeStoppedProcesses();
}

void iCloudManager::startMonitoring()
{
    if (m_monitorTimer) m_monitorTimer->cancel();
    m_monitorTimer = m_c.scheduler.every(secondsToMs(monitorInterval), this, [this] { sample(); });
}

void iCloudManager::stopMonitoring()
{
    if (m_monitorTimer) m_monitorTimer->cancel();
    m_monitorTimer.reset();
}

void iCloudManager::stop()
{
    stopMonitoring();
    // Quitting during a pause would otherwise leave the clients stopped until someone sends
    // them SIGCONT by hand.
    if (m_pauseTimer) m_pauseTimer->cancel();
    m_pauseTimer.reset();
    m_pauseEndDate.reset();
    resumeStoppedProcesses();
    if (m_syncState == SyncState::paused) setSyncState(SyncState::running);
}

void iCloudManager::resumeStoppedProcesses()
{
    for (const auto& [pid, stopped] : m_stopped) continueProcess(stopped);
    m_stopped.clear();
}

QList<iCloudManager::Measurement> iCloudManager::measureAll(const QStringList& names,
                                                            const QList<ProcessInfoItem>& topProcesses)
{
    QList<Measurement> result(names.size());
    QList<bool> found(names.size(), false);
    qsizetype missing = names.size();
    for (qsizetype i = 0; i < names.size(); ++i) {
        for (const ProcessInfoItem& p : topProcesses) {
            // The exact name: a client called "insync" must not match "insyncd-helper".
            if (p.name == names[i] && p.pid >= 1) {
                result[i] = Measurement{p.cpuUsage, p.memoryMB, p.pid, p.startTime};
                found[i] = true;
                --missing;
                break;
            }
        }
    }
    if (missing == 0) return result;

    std::lock_guard lock(m_tableLock);
    std::vector<ProcessEntry> entries;
    if (!m_c.processTable.readProcesses(entries)) return result;
    for (const ProcessEntry& entry : entries) {
        if (entry.pid < 1) continue;
        const QString name = m_c.processTable.displayName(entry);
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (found[i] || name != names[i]) continue;
            // Not among the busiest processes: its CPU counts as 0.
            result[i] = Measurement{0.0, double(entry.residentBytes) / 1048576.0, entry.pid, entry.startTime};
            found[i] = true;
            --missing;
        }
        if (missing == 0) break;
    }
    return result;
}

iCloudManager::Measurement iCloudManager::measureDaemon(const QString& name, const QList<ProcessInfoItem>& topProcesses)
{
    return measureAll({name}, topProcesses).first();
}

void iCloudManager::sample()
{
    // The sampler reports the clients by name from its own walk of the process table (they are
    // its watched names), so the table is not read again here: a client among the busiest is
    // taken from that list, any other from the watched ones.
    const QList<ProcessInfoItem> top = m_c.monitor.topProcesses();
    const QList<ProcessInfoItem> watched = m_c.monitor.watchedProcesses();
    const auto named = [](const QList<ProcessInfoItem>& list, const QString& name) -> const ProcessInfoItem* {
        for (const ProcessInfoItem& p : list)
            if (p.name == name && p.pid >= 1) return &p;
        return nullptr;
    };
    // The busiest client stands for all of them; the first listed wins a tie.
    const ProcessInfoItem* busiest = nullptr;
    for (const QString& name : iCloudProcesses()) {
        const ProcessInfoItem* p = named(top, name);
        if (!p) p = named(watched, name);
        if (p && (!busiest || p->cpuUsage > busiest->cpuUsage)) busiest = p;
    }
    checkAutoThrottle(busiest ? busiest->cpuUsage : 0.0, busiest ? busiest->memoryMB : 0.0);
}

void iCloudManager::checkAutoThrottle(double cpu, double memoryMB)
{
    m_fileproviderdCPU = cpu;
    m_fileproviderdMemoryMB = memoryMB;
    Q_EMIT changed();
    if (!m_autoThrottleEnabled || m_syncState != SyncState::running) return;

    if (cpu > cpuThreshold) {
        const QDateTime now = m_c.clock.now();
        if (!m_highCPUStartTime) {
            m_highCPUStartTime = now;
        } else if (m_highCPUStartTime->msecsTo(now) >= qint64(sustainedSeconds * 1000)) {
            throttle(QStringLiteral("Auto: CPU at ") + cformat("%.0f", cpu) + QStringLiteral("%"));
            m_highCPUStartTime.reset();
        }
    } else {
        m_highCPUStartTime.reset();
    }
}

ProcessStatus iCloudManager::stopProcess(const QString& name, ProcessIdentity process)
{
    // Continuing later must reach this very process, not whoever gets its pid next. Sync clients
    // are stopped automatically, so only the user's own.
    const OpenedProcess opened = m_c.processes.openProcess(process, ProcessOwner::thisUser);
    if (!opened) return opened.status;
    const ProcessStatus sent = opened.handle->sendSignal(SIGSTOP);
    if (!sent) return sent;
    m_stopped.insert_or_assign(process.pid, Stopped{name, opened.handle});
    return ProcessStatus::done();
}

ProcessStatus iCloudManager::continueProcess(const Stopped& stopped)
{
    // A process that has exited meanwhile needs nothing.
    if (!stopped.handle->isRunning()) return ProcessStatus::done();
    const ProcessStatus sent = stopped.handle->sendSignal(SIGCONT);
    return sent.leftAlone() ? ProcessStatus::done() : sent;
}

void iCloudManager::throttle(const QString& reason)
{
    if (m_syncState == SyncState::paused) return;

    const QList<Measurement> all = measureAll(iCloudProcesses(), m_c.monitor.topProcesses());
    int found = 0;
    int leftAlone = 0;
    int failedEntirely = 0;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const Measurement& m = all[i];
        if (m.pid < 1) continue;
        const QString& name = iCloudProcesses()[i];
        const ProcessIdentity process{m.pid, m.startTime};
        const ProcessStatus lowered = m_c.processes.lowerPriority(process, ProcessOwner::thisUser);
        // Gone since the sample, or another user's: not a client of this user's to throttle.
        if (lowered.leftAlone()) {
            ++leftAlone;
            continue;
        }
        ++found;
        QStringList failures;
        if (!lowered) failures.append(lowered.error());
        bool stoppedOk = false;
        if (m.cpu > stopThreshold) {
            const ProcessStatus stopped = stopProcess(name, process);
            if (stopped) {
                stoppedOk = true;
                const int32_t pid = m.pid;
                m_c.scheduler.after(secondsToMs(stopSeconds), this, [this, pid] {
                    auto it = m_stopped.find(pid);
                    if (it == m_stopped.end()) return;
                    // A pause that began meanwhile owns the process now; its resume continues it.
                    if (m_syncState == SyncState::paused) return;
                    continueProcess(it->second);
                    m_stopped.erase(it);
                });
            } else if (!stopped.leftAlone()) {
                failures.append(stopped.error());
            }
        }
        if (!lowered && !stoppedOk) ++failedEntirely;
        insertEvent(name, m.cpu, failures.isEmpty() ? reason : reason + failedSeparator + joined(failures));
        while (m_throttleHistory.size() > maxHistory) m_throttleHistory.removeLast();
    }

    // A run in which every client found refused every change throttled nothing; nor did one
    // that found only clients that had gone or were not the user's.
    if ((found > 0 && failedEntirely == found) || (found == 0 && leftAlone > 0)) {
        Q_EMIT changed();
        return;
    }
    setSyncState(SyncState::throttled);
    ++m_totalThrottles;
    m_lastThrottleDate = m_c.clock.now();
    Q_EMIT changed();
    m_c.scheduler.after(secondsToMs(throttledSeconds), this, [this] {
        if (m_syncState == SyncState::throttled) setSyncState(SyncState::running);
    });
}

void iCloudManager::pause(double seconds)
{
    const QList<Measurement> all = measureAll(iCloudProcesses(), m_c.monitor.topProcesses());
    int found = 0;
    int stopped = 0;
    QStringList failures;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all[i].pid < 1) continue;
        const QString& name = iCloudProcesses()[i];
        const ProcessStatus sent = stopProcess(name, {all[i].pid, all[i].startTime});
        // Gone since the sample, or another user's: there is nothing of this user's to pause.
        if (sent.leftAlone()) continue;
        ++found;
        if (sent) {
            ++stopped;
        } else {
            failures.append(name + QStringLiteral(": ") + sent.error());
        }
    }

    QString action = QStringLiteral("Paused for %1 min").arg(qint64(seconds / 60.0));
    if (!failures.isEmpty()) action += failedSeparator + joined(failures);
    insertEvent(allProcessesName(), m_fileproviderdCPU, action);
    // Not a single client could be stopped: nothing is paused, so nothing is said to be.
    if (found > 0 && stopped == 0) {
        Q_EMIT changed();
        return;
    }

    setSyncState(SyncState::paused);
    m_pauseEndDate = m_c.clock.now().addMSecs(qint64(seconds * 1000.0));
    if (m_pauseTimer) m_pauseTimer->cancel();
    m_pauseTimer = m_c.scheduler.after(secondsToMs(seconds), this, [this] { resume(); });
    Q_EMIT changed();
}

void iCloudManager::resume()
{
    if (m_pauseTimer) m_pauseTimer->cancel();
    m_pauseTimer.reset();
    m_pauseEndDate.reset();

    QStringList failures;
    for (const auto& [pid, stopped] : m_stopped) {
        const ProcessStatus sent = continueProcess(stopped);
        if (!sent) failures.append(stopped.name + QStringLiteral(": ") + sent.error());
    }
    // Clients stopped by someone else are continued too, as the user asked for sync to run.
    const QList<Measurement> all = measureAll(iCloudProcesses(), m_c.monitor.topProcesses());
    for (qsizetype i = 0; i < all.size(); ++i) {
        const int32_t pid = all[i].pid;
        if (pid < 1 || m_stopped.count(pid)) continue;
        const QString& name = iCloudProcesses()[i];
        const OpenedProcess opened = m_c.processes.openProcess({pid, all[i].startTime}, ProcessOwner::thisUser);
        const ProcessStatus sent = opened ? opened.handle->sendSignal(SIGCONT) : opened.status;
        if (!sent && !sent.leftAlone()) failures.append(name + QStringLiteral(": ") + sent.error());
    }
    m_stopped.clear();

    setSyncState(SyncState::running);
    insertEvent(allProcessesName(), 0,
                failures.isEmpty() ? QStringLiteral("Resumed") : QStringLiteral("Resumed") + failedSeparator + joined(failures));
    Q_EMIT changed();
}

QString iCloudManager::pauseRemainingText() const
{
    qint64 seconds = 0;
    if (m_pauseEndDate) seconds = std::max<qint64>(0, m_c.clock.now().msecsTo(*m_pauseEndDate) / 1000);
    return cformat("%d:%02d", int(seconds / 60), int(seconds % 60));
}

void iCloudManager::insertEvent(const QString& processName, double cpu, const QString& action)
{
    m_throttleHistory.prepend(ThrottleEvent{Uuids::make(), m_c.clock.now(), processName, cpu, action});
}

void iCloudManager::setSyncState(SyncState state)
{
    if (m_syncState == state) return;
    m_syncState = state;
    Q_EMIT changed();
}
