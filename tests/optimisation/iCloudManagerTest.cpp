#include "optimisation/iCloudManager.h"

#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "support/ChildProcess.h"
#include "support/FakeMonitorState.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The real process table, narrowed to the processes this test started: a sync client that
// happens to run on the machine must never be stopped by a test.
class OwnChildrenTable final : public ProcessTable {
public:
    QSet<int32_t> pids;
    int reads = 0;
    bool readProcesses(std::vector<ProcessEntry>& out) override
    {
        ++reads;
        if (!m_real.readProcesses(out)) return false;
        std::erase_if(out, [this](const ProcessEntry& e) { return !pids.contains(e.pid); });
        return true;
    }
    QString displayName(const ProcessEntry& entry) override { return m_real.displayName(entry); }

private:
    ProcfsProcessTable m_real;
};

// Field 3 of /proc/PID/stat: R, S, T ...
char stateOf(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return '?';
    const QByteArray line = f.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

// Signals arrive asynchronously; waits until the state is (or is not) stopped.
bool becomes(pid_t pid, bool stopped)
{
    for (int i = 0; i < 200; ++i) {
        if ((stateOf(pid) == 'T') == stopped) return true;
        QThread::msleep(10);
    }
    return false;
}

ProcessInfoItem top(int32_t pid, const QString& name, double cpu, double memoryMB = 0)
{
    ProcessInfoItem p;
    p.pid = pid;
    // As the sampler sees it, so a real child can be reached.
    if (const auto identity = LinuxProcessControl::identityOf(pid)) p.startTime = identity->startTime;
    p.name = name;
    p.cpuUsage = cpu;
    p.memoryMB = memoryMB;
    return p;
}

struct CloudRig {
    QTemporaryDir dir;
    ManualClock clock;
    ManualScheduler scheduler{clock};
    FakeMonitorState monitor;
    OwnChildrenTable table;
    LinuxProcessControl control;
    std::vector<std::unique_ptr<ChildProcess>> children;
    std::unique_ptr<iCloudManager> manager = std::make_unique<iCloudManager>(iCloudManager::Collaborators{
        .monitor = monitor,
        .processTable = table,
        .processes = control,
        .clock = clock,
        .scheduler = scheduler,
    });

    ~CloudRig() { manager.reset(); }

    // A sleeping child whose process name is `name`, as a sync client would be.
    pid_t spawn(const QString& name)
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        if (!QFile::exists(path)) {
            EXPECT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), path));
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        children.push_back(std::make_unique<ChildProcess>(QStringList{path, QStringLiteral("300")}));
        const pid_t pid = children.back()->pid();
        EXPECT_GT(pid, 0);
        // posix_spawn returns before the exec: wait for the new name.
        for (int i = 0; i < 200; ++i) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name.toUtf8()) break;
            QThread::msleep(10);
        }
        table.pids.insert(pid);
        return pid;
    }

    QStringList history() const
    {
        QStringList out;
        for (const ThrottleEvent& e : manager->throttleHistory()) out << e.processName + QStringLiteral(" | ") + e.action;
        return out;
    }
};

}  // namespace

TEST(iCloudManager, PauseStopsEveryClientByExactNameAndTheTimerResumesThem)
{
    CloudRig rig;
    // Longer names that merely contain a client's name are other programs, even when they come
    // first in the process table.
    const pid_t lookalike = rig.spawn(QStringLiteral("syncthingtray"));
    const pid_t helper = rig.spawn(QStringLiteral("dropboxd"));
    const pid_t syncthing = rig.spawn(QStringLiteral("syncthing"));
    const pid_t dropbox = rig.spawn(QStringLiteral("dropbox"));

    rig.manager->pause(600);
    EXPECT_TRUE(becomes(syncthing, true));
    EXPECT_TRUE(becomes(dropbox, true));
    QThread::msleep(50);
    EXPECT_NE(stateOf(lookalike), 'T');
    EXPECT_NE(stateOf(helper), 'T');
    EXPECT_EQ(rig.manager->syncState(), SyncState::paused);
    EXPECT_EQ(rig.history(), QStringList{QStringLiteral("All cloud sync | Paused for 10 min")});
    EXPECT_EQ(rig.manager->pauseRemainingText(), QStringLiteral("10:00"));

    rig.scheduler.advance(474300ms);  // 125.7 s left
    EXPECT_EQ(rig.manager->pauseRemainingText(), QStringLiteral("2:05"));
    EXPECT_EQ(rig.manager->syncState(), SyncState::paused);

    rig.scheduler.advance(125700ms);
    EXPECT_TRUE(becomes(syncthing, false));
    EXPECT_TRUE(becomes(dropbox, false));
    EXPECT_EQ(rig.manager->syncState(), SyncState::running);
    EXPECT_EQ(rig.manager->pauseRemainingText(), QStringLiteral("0:00"));
    EXPECT_FALSE(rig.manager->pauseEndDate());
    EXPECT_EQ(rig.history(), (QStringList{QStringLiteral("All cloud sync | Resumed"),
                                          QStringLiteral("All cloud sync | Paused for 10 min")}));
}

TEST(iCloudManager, PauseTextsAndRepeatedPauseStartOver)
{
    CloudRig rig;
    rig.manager->pause(90);
    rig.manager->pause(30);
    // No client runs: the state still follows the request.
    EXPECT_EQ(rig.manager->syncState(), SyncState::paused);
    EXPECT_EQ(rig.history(), (QStringList{QStringLiteral("All cloud sync | Paused for 0 min"),
                                          QStringLiteral("All cloud sync | Paused for 1 min")}));
    // The second pause replaced the first timer: it ends after 30 s, and only once.
    rig.scheduler.advance(30s);
    EXPECT_EQ(rig.manager->syncState(), SyncState::running);
    rig.scheduler.advance(120s);
    EXPECT_EQ(rig.manager->throttleHistory().size(), 3);
}

TEST(iCloudManager, ShutdownResumesWhatItStoppedAndEndsTheMonitor)
{
    CloudRig rig;
    const pid_t onedrive = rig.spawn(QStringLiteral("onedrive"));
    rig.manager->start();
    EXPECT_TRUE(rig.manager->isMonitoring());
    rig.manager->pause(600);
    ASSERT_TRUE(becomes(onedrive, true));

    rig.manager->stop();
    EXPECT_TRUE(becomes(onedrive, false));
    EXPECT_FALSE(rig.manager->isMonitoring());
    EXPECT_EQ(rig.manager->syncState(), SyncState::running);
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);
}

TEST(iCloudManager, ThrottleRenicesEveryClientAndBrieflyStopsOnlyTheHotOnes)
{
    CloudRig rig;
    const pid_t dropbox = rig.spawn(QStringLiteral("dropbox"));
    const pid_t syncthing = rig.spawn(QStringLiteral("syncthing"));
    rig.monitor.processes = {top(syncthing, QStringLiteral("syncthing"), 80), top(dropbox, QStringLiteral("dropbox"), 40)};

    rig.manager->throttle(QStringLiteral("Auto: CPU at 80%"));
    EXPECT_EQ(ChildProcess::niceOf(dropbox), 19);
    EXPECT_EQ(ChildProcess::niceOf(syncthing), 19);
    EXPECT_TRUE(becomes(syncthing, true));
    EXPECT_NE(stateOf(dropbox), 'T');
    EXPECT_EQ(rig.manager->syncState(), SyncState::throttled);
    EXPECT_EQ(rig.manager->totalThrottles(), 1);
    EXPECT_EQ(rig.manager->lastThrottleDate(), rig.clock.now());
    // Clients in list order, so the later one ends up at the head.
    EXPECT_EQ(rig.history(), (QStringList{QStringLiteral("syncthing | Auto: CPU at 80%"),
                                          QStringLiteral("dropbox | Auto: CPU at 80%")}));
    EXPECT_EQ(rig.manager->throttleHistory().first().cpuBefore, 80);

    rig.scheduler.advance(2s);
    EXPECT_TRUE(becomes(syncthing, false));
    rig.scheduler.advance(27s);
    EXPECT_EQ(rig.manager->syncState(), SyncState::throttled);
    rig.scheduler.advance(1s);
    EXPECT_EQ(rig.manager->syncState(), SyncState::running);
    // The priority stays lowered.
    EXPECT_EQ(ChildProcess::niceOf(syncthing), 19);

    // Paused, a throttle request does nothing.
    rig.manager->pause(600);
    rig.manager->throttle(QStringLiteral("Auto: CPU at 90%"));
    EXPECT_EQ(rig.manager->totalThrottles(), 1);
    EXPECT_EQ(rig.manager->syncState(), SyncState::paused);
}

TEST(iCloudManager, ThrottleWithNoClientStillCountsAndHistoryKeepsTheNewestHundred)
{
    CloudRig rig;
    rig.manager->throttle(QStringLiteral("Auto: CPU at 60%"));
    EXPECT_TRUE(rig.manager->throttleHistory().isEmpty());
    EXPECT_EQ(rig.manager->syncState(), SyncState::throttled);
    EXPECT_EQ(rig.manager->totalThrottles(), 1);

    const pid_t insync = rig.spawn(QStringLiteral("insync"));
    rig.monitor.processes = {top(insync, QStringLiteral("insync"), 10)};
    for (int i = 1; i <= 101; ++i) rig.manager->throttle(QStringLiteral("run %1").arg(i));
    ASSERT_EQ(rig.manager->throttleHistory().size(), 100);
    EXPECT_EQ(rig.manager->throttleHistory().first().action, QStringLiteral("run 101"));
    EXPECT_EQ(rig.manager->throttleHistory().last().action, QStringLiteral("run 2"));
    EXPECT_EQ(rig.manager->totalThrottles(), 102);

    // Pause and resume events are not trimmed; the next throttle event trims again.
    rig.manager->pause(60);
    EXPECT_EQ(rig.manager->throttleHistory().size(), 101);
    rig.manager->resume();
    EXPECT_EQ(rig.manager->throttleHistory().size(), 102);
    rig.manager->throttle(QStringLiteral("run 102"));
    EXPECT_EQ(rig.manager->throttleHistory().size(), 100);
}

TEST(iCloudManager, RefusedSignalsAreRecordedAsFailedAndChangeNoState)
{
    CloudRig rig;
    // Our own process carries a client's name here: the process control refuses to touch it,
    // a real failure of the renice and of the stop.
    const int32_t self = int32_t(::getpid());
    rig.monitor.processes = {top(self, QStringLiteral("megasync"), 95)};
    const QString refused = QStringLiteral("process %1 may not be changed").arg(self);

    rig.manager->throttle(QStringLiteral("Auto: CPU at 95%"));
    EXPECT_EQ(rig.history(),
              QStringList{QStringLiteral("megasync | Auto: CPU at 95% \u2014 failed: ") + refused + QStringLiteral("; ") + refused});
    EXPECT_EQ(rig.manager->syncState(), SyncState::running);
    EXPECT_EQ(rig.manager->totalThrottles(), 0);
    EXPECT_FALSE(rig.manager->lastThrottleDate());

    rig.manager->pause(600);
    EXPECT_EQ(rig.history().first(),
              QStringLiteral("All cloud sync | Paused for 10 min \u2014 failed: megasync: ") + refused);
    EXPECT_EQ(rig.manager->syncState(), SyncState::running);
    EXPECT_FALSE(rig.manager->pauseEndDate());
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);
}

TEST(iCloudManager, MonitorThrottlesAfterFifteenSecondsAboveFiftyPercent)
{
    struct Step {
        double cpu;
        bool throttledAfter;
    };
    struct Case {
        const char* name;
        std::vector<Step> samples;  // 5 s apart
    };
    const std::vector<Case> cases = {
        {"fourth high sample throttles", {{60, false}, {60, false}, {60, false}, {87, true}}},
        {"exactly fifty starts the count again",
         {{60, false}, {60, false}, {50, false}, {60, false}, {60, false}, {60, false}, {60, true}}},
        {"low samples never throttle", {{10, false}, {49, false}, {50, false}, {20, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CloudRig rig;
        const pid_t nextcloud = rig.spawn(QStringLiteral("nextcloud"));
        rig.manager->startMonitoring();
        rig.scheduler.advance(4999ms);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(rig.manager->fileproviderdMemoryMB(), 0) << "no sample at once";
        bool first = true;
        for (const Step& s : c.samples) {
            // A client that merely contains the name is ignored, even when it is busier.
            rig.monitor.processes = {top(9999999, QStringLiteral("nextcloudcmd"), 99),
                                     top(nextcloud, QStringLiteral("nextcloud"), s.cpu, 120)};
            rig.scheduler.advance(first ? 1ms : 5000ms);
            first = false;
            QCoreApplication::sendPostedEvents();
            EXPECT_EQ(rig.manager->fileproviderdCPU(), s.cpu);
            EXPECT_EQ(rig.manager->fileproviderdMemoryMB(), 120);
            EXPECT_EQ(rig.manager->syncState() == SyncState::throttled, s.throttledAfter) << s.cpu;
        }
        if (c.samples.back().throttledAfter) {
            EXPECT_EQ(rig.history().first(),
                      QStringLiteral("nextcloud | Auto: CPU at ") + QString::asprintf("%.0f%%", c.samples.back().cpu));
            EXPECT_FALSE(rig.manager->highCPUStartTime());
        }
        rig.scheduler.advance(2s);
        EXPECT_TRUE(becomes(nextcloud, false)) << "the 2 s stop is over";
    }
}

TEST(iCloudManager, MonitorTakesClientsOutsideTheBusiestFromTheSamplersWatchedNames)
{
    CloudRig rig;
    rig.manager->startMonitoring();
    // Not among the busiest: the sampler's watched list carries it, with its own share.
    rig.monitor.processes = {top(4000, QStringLiteral("firefox"), 40)};
    rig.monitor.watched = {top(4100, QStringLiteral("syncthing"), 55, 80), top(4101, QStringLiteral("dropbox"), 5, 300)};
    for (int i = 0; i < 2; ++i) rig.scheduler.advance(5000ms);
    EXPECT_EQ(rig.manager->fileproviderdCPU(), 55) << "the busiest client stands for all";
    EXPECT_EQ(rig.manager->fileproviderdMemoryMB(), 80);
    EXPECT_TRUE(rig.manager->highCPUStartTime());
    // A busiest-list entry wins over the watched one of the same client.
    rig.monitor.processes = {top(4100, QStringLiteral("syncthing"), 3, 81)};
    rig.scheduler.advance(5000ms);
    EXPECT_EQ(rig.manager->fileproviderdCPU(), 5);
    EXPECT_EQ(rig.manager->fileproviderdMemoryMB(), 300);
    EXPECT_FALSE(rig.manager->highCPUStartTime());
    // No client running: nothing measured.
    rig.monitor.processes.clear();
    rig.monitor.watched.clear();
    rig.scheduler.advance(5000ms);
    EXPECT_EQ(rig.manager->fileproviderdMemoryMB(), 0);
    EXPECT_EQ(rig.table.reads, 0) << "the periodic check never walks the process table itself";
}

TEST(iCloudManager, AHighRunInterruptedByAPauseThrottlesAtOnceAfterTheResume)
{
    CloudRig rig;
    rig.manager->checkAutoThrottle(60, 0);
    rig.manager->pause(60);
    rig.clock.advance(20s);
    rig.manager->checkAutoThrottle(60, 0);
    EXPECT_EQ(rig.manager->syncState(), SyncState::paused);
    EXPECT_TRUE(rig.manager->highCPUStartTime());
    rig.manager->resume();
    rig.manager->checkAutoThrottle(60, 0);
    EXPECT_EQ(rig.manager->syncState(), SyncState::throttled);
    EXPECT_FALSE(rig.manager->highCPUStartTime());
}
