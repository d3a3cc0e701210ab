#include "FakeNotificationServer.h"
#include "MonitorFakes.h"
#include "core/Log.h"
#include "core/Json.h"
#include "monitoring/MonitorRules.h"
#include "monitoring/NotificationManager.h"
#include "monitoring/ProcessManager.h"
#include "support/ChildProcess.h"
#include "support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

using namespace std::chrono_literals;

namespace {

constexpr uint64_t gib = 1ull << 30;

ProcessInfoItem process(int32_t pid, const char* name, double cpu, bool runaway = true, bool isProtected = false)
{
    ProcessInfoItem p;
    p.pid = pid;
    p.name = QString::fromUtf8(name);
    p.cpuUsage = cpu;
    p.isRunaway = runaway;
    p.isProtected = isProtected;
    return p;
}

PerformanceSnapshot snapshotWith(QList<ProcessInfoItem> processes, double freeGiB = 500, double rootFreeGiB = -1)
{
    PerformanceSnapshot s;
    s.diskTotal = 1000 * gib;
    s.diskUsed = s.diskTotal - uint64_t(freeGiB * double(gib));
    if (rootFreeGiB >= 0) {
        s.rootDiskTotal = 100 * gib;
        s.rootDiskUsed = s.rootDiskTotal - uint64_t(rootFreeGiB * double(gib));
    }
    s.topProcesses = std::move(processes);
    return s;
}

HealthScore healthOf(int64_t score)
{
    HealthScore h;
    h.score = score;
    return h;
}

QStringList recordsOf(const PerformanceMonitor& monitor, ActionType type)
{
    QStringList out;
    for (const ActionRecord& r : monitor.actionHistory()) {
        if (r.action == type) out << r.target + QStringLiteral(": ") + r.detail;
    }
    return out;
}

// The CPU time the kernel has given a process, from its stat line (utime + stime).
double cpuSecondsOf(int32_t pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

bool copyTree(const QString& from, const QString& to)
{
    return QProcess::execute(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), to}) == 0;
}

}  // namespace

TEST(PerformanceMonitor, BusyChildIsFoundThrottledCountedAndNoticed)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid());
    FakeNotificationServer server;
    ASSERT_TRUE(server.registered);

    QTemporaryDir dir;
    ChildProcess busy({ChildProcess::writeSpinner(dir.path(), QStringLiteral("busyloop"))});
    ChildProcess guarded({ChildProcess::writeSpinner(dir.path(), QStringLiteral("gitspinner"))});
    ChildProcess idle({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    // Already at the lowest priority: busy, but there is nothing to lower.
    ChildProcess lowest({QStringLiteral("/usr/bin/nice"), QStringLiteral("-n"), QStringLiteral("19"),
                         ChildProcess::writeSpinner(dir.path(), QStringLiteral("lowspinner"))});
    ASSERT_TRUE(busy.started() && guarded.started() && idle.started() && lowest.started());

    MonitorRig rig;
    // A loaded test machine may give the spinner much less than a whole core, so the share is
    // checked against the CPU time the kernel really gave it, and the threshold is low.
    rig.settings.setCpuThreshold(5);
    rig.settings.setSustainedTimeBeforeAction(5);
    // The disk is this machine's own: however full it is, no disk notice joins the throttle's.
    rig.settings.setDiskWarningThresholdGB(0);
    rig.settings.setDiskCriticalThresholdGB(0);
    LinuxProcessControl control;
    ProcessManager processManager(control, rig.scheduler);
    NotificationManager notifications(rig.clock);
    FixtureReaders machine(QStringLiteral("/proc"));
    OwnProcessesTable table;
    table.allowed = {busy.pid(), guarded.pid(), idle.pid(), lowest.pid()};
    PerformanceMonitor monitor(SamplerPlatform{machine.cpu, machine.memory, machine.volumeSource, machine.thermal, table},
                               rig.collaborators(control, processManager, notifications));

    auto sample = [&](qint64 n) {
        monitor.poll();
        return waitUntil([&] { return monitor.pollCount() == n; });
    };
    QElapsedTimer window;
    ASSERT_TRUE(sample(1));
    window.start();
    const double cpuBefore = cpuSecondsOf(busy.pid());
    QThread::msleep(1000);
    const double trueShare = (cpuSecondsOf(busy.pid()) - cpuBefore) / (double(window.elapsed()) / 1000.0) * 100.0;
    ASSERT_TRUE(sample(2));

    const auto top = monitor.topProcesses();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0].pid == busy.pid() || top[0].pid == guarded.pid() || top[0].pid == lowest.pid(), true) << "the spinners lead";
    for (const ProcessInfoItem& p : top) {
        if (p.pid == lowest.pid()) {
            EXPECT_EQ(p.nice, 19);
            continue;
        }
        if (p.pid == busy.pid()) {
            EXPECT_EQ(p.name, QStringLiteral("busyloop"));
            EXPECT_NEAR(p.cpuUsage, trueShare, 15.0);  // about 100 on an idle machine
            EXPECT_GT(p.cpuUsage, 5.0);
            EXPECT_TRUE(p.isRunaway);
            EXPECT_FALSE(p.isProtected);
        } else if (p.pid == guarded.pid()) {
            EXPECT_TRUE(p.isProtected);
        } else {
            EXPECT_LT(p.cpuUsage, 5.0);
            EXPECT_FALSE(p.isRunaway);
        }
    }

    // The second sample started the wait; after the sustained time the next sample acts.
    rig.clock.advance(6s);
    QThread::msleep(1000);
    ASSERT_TRUE(sample(3));

    EXPECT_EQ(ChildProcess::niceOf(busy.pid()), 19);
    EXPECT_EQ(ChildProcess::niceOf(guarded.pid()), 0) << "a protected name is never touched";
    EXPECT_EQ(ChildProcess::niceOf(idle.pid()), 0);

    ASSERT_TRUE(waitUntil([&] { return !recordsOf(monitor, ActionType::processThrottled).isEmpty(); }));
    const QStringList records = recordsOf(monitor, ActionType::processThrottled);
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(records[0].startsWith(QStringLiteral("busyloop: PID %1 at ").arg(busy.pid()))) << records[0].toStdString();
    EXPECT_TRUE(records[0].endsWith(QStringLiteral("% for 6s \u2014 Exceeds CPU threshold"))) << records[0].toStdString();
    EXPECT_TRUE(monitor.actionHistory().first().wasAutomatic);

    ASSERT_TRUE(waitUntil([&] { return processManager.processIncidentCounts().value(QStringLiteral("busyloop")) == 1; }));
    EXPECT_EQ(processManager.processIncidentCounts().size(), 1);
    // Written off the main thread, shortly after.
    EXPECT_TRUE(waitUntil([&] {
        const auto file = Json::readFile(ProcessManager::incidentsFilePath());
        return file && file->object() == QJsonObject({{QStringLiteral("busyloop"), 1}});
    }));

    ASSERT_TRUE(waitUntil([&] { return !server.calls.isEmpty(); }));
    ASSERT_EQ(server.calls.size(), 1);
    EXPECT_EQ(server.calls[0].summary, QStringLiteral("Process Throttled"));
    EXPECT_TRUE(server.calls[0].body.startsWith(QStringLiteral("busyloop was using ")));
    EXPECT_TRUE(server.calls[0].body.endsWith(QStringLiteral("% CPU and has been throttled to maintain performance.")));
    EXPECT_EQ(server.calls[0].hints.value(QStringLiteral("category")).toString(), QStringLiteral("PROCESS_ACTION"));

    // Five virtual minutes of samples while both spinners stay busy at nice 19: nothing more
    // is recorded, counted or noticed.
    for (int n = 4; n < 4 + 30; ++n) {
        rig.clock.advance(10s);
        QThread::msleep(60);
        ASSERT_TRUE(sample(n));
    }
    QThread::msleep(200);
    QCoreApplication::processEvents();
    EXPECT_EQ(recordsOf(monitor, ActionType::processThrottled).size(), 1);
    EXPECT_EQ(processManager.processIncidentCounts(), (QHash<QString, int>{{QStringLiteral("busyloop"), 1}}));
    EXPECT_EQ(server.calls.size(), 1);
    EXPECT_EQ(ChildProcess::niceOf(lowest.pid()), 19);
}

TEST(PerformanceMonitor, LowestPriorityKernelThreadsAndInitAreNeverThrottledAndAFailureIsLoggedOnce)
{
    MonitorRig rig;
    rig.settings.setSustainedTimeBeforeAction(5);
    FixtureReaders readers(QStringLiteral("/nonexistent"));
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());
    rig.control.failing = {40};

    ProcessInfoItem atLowest = process(10, "renderer", 97);
    atLowest.nice = 19;
    ProcessInfoItem kernel = process(20, "kworker/u32:3", 99);
    kernel.isKernelThread = true;
    const ProcessInfoItem init = process(1, "systemd", 99);
    ProcessInfoItem refused = process(40, "rootd", 90);
    refused.startTime = 777;
    const auto list = snapshotWith({atLowest, kernel, init, refused});
    // Five virtual minutes, a sample every 10 s.
    for (int tick = 0; tick <= 30; ++tick) {
        monitor.evaluateAutomaticActions(list, healthOf(90));
        rig.clock.advance(10s);
    }
    EXPECT_TRUE(rig.control.lowered.isEmpty());
    EXPECT_TRUE(rig.ledger.incidents.isEmpty());
    EXPECT_TRUE(rig.notifier.calls.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !recordsOf(monitor, ActionType::processThrottled).isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(recordsOf(monitor, ActionType::processThrottled),
              QStringList{QStringLiteral("rootd: PID 40 at 90.0% for 10s \u2014 Exceeds CPU threshold \u2014 failed: Operation not permitted")});

    // Another process under the same pid is a new one: its failure is logged again.
    refused.startTime = 778;
    for (int tick = 0; tick < 3; ++tick) {
        monitor.evaluateAutomaticActions(snapshotWith({refused}), healthOf(90));
        rig.clock.advance(10s);
    }
    ASSERT_TRUE(waitUntil([&] { return recordsOf(monitor, ActionType::processThrottled).size() == 2; }));
}

TEST(PerformanceMonitor, SampledKernelThreadsAndInitAreProtectedAndNeverRunaway)
{
    // pid 1, a flagged kernel thread, an unflagged command-less child of kthreadd and a user
    // process, all burning CPU between two samples.
    QTemporaryDir dir;
    auto write = [&](int pid, int ppid, unsigned flags, const char* name, int ticks) {
        QDir().mkpath(dir.filePath(QString::number(pid)));
        QFile stat(dir.filePath(QStringLiteral("%1/stat").arg(pid)));
        ASSERT_TRUE(stat.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stat.write(QByteArray::number(pid) + " (" + name + ") R " + QByteArray::number(ppid) + " 0 0 0 -1 " +
                   QByteArray::number(flags) + " 0 0 0 0 " + QByteArray::number(ticks) + " 0 0 0 20 0 1 0 99 0 0\n");
        QFile(dir.filePath(QStringLiteral("%1/cmdline").arg(pid))).open(QIODevice::WriteOnly);
    };
    auto writeAll = [&](int ticks) {
        write(1, 0, 0x400100, "systemd", ticks);
        write(77, 2, 0x00208040, "kworker/3:1", ticks);
        write(78, 2, 0, "oldkthread", ticks);
        write(4000, 900, 0x400000, "renderer", ticks);
    };
    writeAll(0);
    FixtureReaders readers(dir.path());
    readers.processes.setKernelThreadRefresh(0);  // the kernel threads' CPU of this very sample
    SampleCollector collector(readers.platform());
    SampleInputs in;
    in.cpuThreshold = 5;
    collector.takeSample(in);
    QThread::msleep(20);
    writeAll(100);
    const auto top = collector.takeSample(in).snapshot.topProcesses;
    ASSERT_EQ(top.size(), 4);
    for (const ProcessInfoItem& p : top) {
        const bool user = p.pid == 4000;
        EXPECT_GT(p.cpuUsage, 5.0) << p.pid;
        EXPECT_EQ(p.isRunaway, user) << p.pid;
        EXPECT_EQ(p.isProtected, !user) << p.pid;
        EXPECT_EQ(p.isKernelThread, p.pid == 77 || p.pid == 78) << p.pid;
    }
}

TEST(PerformanceMonitor, ThrottlesOnlyAfterTheSustainedTimeAndHonoursVerdicts)
{
    MonitorRig rig;  // sustained time 30 s
    FixtureReaders readers(QStringLiteral("/nonexistent"));
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());
    rig.control.failing = {40};
    rig.control.gone = {60};
    rig.advisor.leaveAlone = {20};

    const QList<ProcessInfoItem> list = {process(10, "renderer", 97.34), process(20, "indexer", 95),
                                         process(30, "ssh-agent", 99, true, true), process(40, "rootd", 90),
                                         process(50, "quiet", 3, false), process(60, "vanished", 99)};
    // Exact 10 s ticks: the fourth sample is the first with 30 s behind it.
    for (int tick = 0; tick < 4; ++tick) {
        if (tick > 0) rig.clock.advance(10s);
        EXPECT_TRUE(rig.control.lowered.isEmpty()) << tick;
        monitor.evaluateAutomaticActions(snapshotWith(list), healthOf(90));
    }
    EXPECT_EQ(rig.control.lowered, QList<int32_t>{10});
    EXPECT_EQ(rig.ledger.incidents, QStringList{QStringLiteral("renderer")}) << "a failed change counts no incident";
    EXPECT_EQ(rig.advisor.throttled, QList<int32_t>{10}) << "only a throttle that took effect is audited";
    EXPECT_EQ(rig.notifier.calls, QStringList{QStringLiteral("throttled renderer 97")}) << "and sends no notice";
    ASSERT_TRUE(waitUntil([&] { return recordsOf(monitor, ActionType::processThrottled).size() == 2; }));
    EXPECT_EQ(recordsOf(monitor, ActionType::processThrottled),
              (QStringList{QStringLiteral("rootd: PID 40 at 90.0% for 30s \u2014 Exceeds CPU threshold \u2014 failed: Operation not permitted"),
                           QStringLiteral("renderer: PID 10 at 97.3% for 30s \u2014 Exceeds CPU threshold")}))
        << "a process gone since the sample leaves no record";
    EXPECT_TRUE(std::all_of(rig.control.owners.begin(), rig.control.owners.end(),
                            [](ProcessOwner o) { return o == ProcessOwner::thisUser; }))
        << "automatic throttling reaches only the user's own processes";

    // Still runaway: tracked again from this sample, throttled again 30 s later.
    rig.control.lowered.clear();
    rig.clock.advance(10s);
    monitor.evaluateAutomaticActions(snapshotWith(list), healthOf(90));
    rig.clock.advance(20s);
    monitor.evaluateAutomaticActions(snapshotWith(list), healthOf(90));
    EXPECT_TRUE(rig.control.lowered.isEmpty());
    rig.clock.advance(10s);
    monitor.evaluateAutomaticActions(snapshotWith(list), healthOf(90));
    EXPECT_EQ(rig.control.lowered, QList<int32_t>{10});

    // The learner's "leave alone" keeps the first-seen time: once it stops saying so, the
    // process has long been runaway.
    rig.advisor.leaveAlone.clear();
    rig.control.lowered.clear();
    rig.clock.advance(10s);
    monitor.evaluateAutomaticActions(snapshotWith(list), healthOf(90));
    EXPECT_FALSE(rig.control.lowered.contains(20)) << "first seen now";
    rig.advisor.leaveAlone = {20};
    rig.clock.advance(40s);
    monitor.evaluateAutomaticActions(snapshotWith(list), healthOf(90));
    rig.advisor.leaveAlone.clear();
    rig.clock.advance(1s);
    monitor.evaluateAutomaticActions(snapshotWith(list), healthOf(90));
    EXPECT_TRUE(rig.control.lowered.contains(20));
    EXPECT_FALSE(rig.control.lowered.contains(30)) << "protected";
}

TEST(PerformanceMonitor, OneCalmSampleStartsTheWaitAgainAndTheSwitchTurnsThrottlingOff)
{
    MonitorRig rig;
    FixtureReaders readers(QStringLiteral("/nonexistent"));
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());
    const auto hot = snapshotWith({process(10, "renderer", 97)});
    const auto calm = snapshotWith({process(10, "renderer", 20, false)});
    const PerformanceSnapshot sequence[] = {hot, calm, hot, hot, hot, hot};
    for (const auto& s : sequence) {
        monitor.evaluateAutomaticActions(s, healthOf(90));
        rig.clock.advance(10s);
    }
    // Runaway again from the third sample (t = 20 s); 30 s later is the sixth (t = 50 s).
    EXPECT_EQ(rig.control.lowered, QList<int32_t>{10});

    rig.settings.setAutoThrottleEnabled(false);
    rig.control.lowered.clear();
    for (int i = 0; i < 6; ++i) {
        monitor.evaluateAutomaticActions(hot, healthOf(90));
        rig.clock.advance(10s);
    }
    EXPECT_TRUE(rig.control.lowered.isEmpty());
}

TEST(PerformanceMonitor, DiskAlarmsEmergencyCleanupAndHealthNotice)
{
    MonitorRig rig;  // warning below 20 GB, critical below 10 GB
    FixtureReaders readers(QStringLiteral("/nonexistent"));
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());
    CleanupTarget pip;
    pip.name = QStringLiteral("pip Cache");
    pip.sizeBytes = 1200000000;
    CleanupTarget hf;
    hf.name = QStringLiteral("Hugging Face Cache");
    hf.sizeBytes = 350000;
    rig.cleaner.emergency = {pip, hf};

    struct Case {
        const char* what;
        double freeGiB;
        double rootFreeGiB;  // -1: "/" is on the home folder's file system
        int64_t score;
        bool autoCleanup;
        bool notices;
        QStringList expected;
        int scheduled;
    } cases[] = {
        {"plenty", 500, -1, 90, true, true, {}, 0},
        {"low", 15, -1, 90, true, true, {"low disk 15.0"}, 0},
        {"critical", 4.26, -1, 90, true, true, {"emergency 4.3"}, 1},
        {"critical, cleanup off", 4, -1, 90, false, true, {}, 0},
        {"critical, notices off", 4, -1, 90, true, false, {}, 1},
        {"health 50", 500, -1, 50, true, true, {}, 0},
        {"health 49", 500, -1, 49, true, true, {"health 49"}, 0},
        // "/" on a file system of its own: named when it is low and fuller than home's.
        {"/ low alone", 500, 3, 90, true, true, {"low / 3.0"}, 0},
        {"/ low alone, notices off", 500, 3, 90, true, false, {}, 0},
        {"/ plenty", 500, 25, 90, true, true, {}, 0},
        {"both low", 15, 3, 90, true, true, {"low disk 15.0 (/ 3.0)"}, 0},
        {"home lower than /", 15, 18, 90, true, true, {"low disk 15.0"}, 0},
        {"home critical, / low", 4.26, 3, 90, true, true, {"emergency 4.3 (/ 3.0)"}, 1},
    };
    for (const Case& c : cases) {
        rig.notifier.calls.clear();
        rig.settings.setAutoCleanupEnabled(c.autoCleanup);
        rig.settings.setNotificationsEnabled(c.notices);
        const int before = rig.scheduler.pendingCount();
        monitor.evaluateAutomaticActions(snapshotWith({}, c.freeGiB, c.rootFreeGiB), healthOf(c.score));
        EXPECT_EQ(rig.notifier.calls, c.expected) << c.what;
        EXPECT_EQ(rig.scheduler.pendingCount() - before, c.scheduled) << c.what;
    }
    // A volume that could not be read raises no alarm.
    rig.notifier.calls.clear();
    rig.settings.setNotificationsEnabled(true);
    PerformanceSnapshot unread = snapshotWith({});
    unread.diskTotal = unread.diskUsed = 0;
    monitor.evaluateAutomaticActions(unread, healthOf(90));
    EXPECT_TRUE(rig.notifier.calls.isEmpty());

    // Three steps are waiting. The space is still short when they are due: each cleans.
    monitor.setCurrentSnapshot(snapshotWith({}, 4));
    rig.scheduler.advance(5s);
    ASSERT_TRUE(waitUntil([&] { return recordsOf(monitor, ActionType::emergencyCleanup).size() == 6; }));
    EXPECT_EQ(rig.cleaner.emergencyRuns, 3);
    // Newest first: each step's targets land in the order returned, one in front of the other.
    EXPECT_EQ(recordsOf(monitor, ActionType::emergencyCleanup).mid(0, 2),
              (QStringList{QStringLiteral("Hugging Face Cache: Moved 350 KB to the Trash"), QStringLiteral("pip Cache: Moved 1.2 GB to the Trash")}));
    EXPECT_TRUE(monitor.actionHistory().first().wasAutomatic);

    // A step that finds enough space does nothing.
    monitor.evaluateAutomaticActions(snapshotWith({}, 4), healthOf(90));
    monitor.setCurrentSnapshot(snapshotWith({}, 40));
    rig.scheduler.advance(5s);
    QCoreApplication::processEvents();
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.cleaner.emergencyRuns, 3);
}

TEST(PerformanceMonitor, PublishesSamplesTrimsHistoriesAndFeedsTheProfileChoice)
{
    MonitorRig rig;
    rig.settings.setHistoryRetentionHours(1);
    rig.battery.level = 18;
    FixtureReaders readers(QStringLiteral("/nonexistent"));
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());
    EXPECT_EQ(monitor.currentHealth().score, 100);
    EXPECT_EQ(monitor.currentSnapshot().memoryTotal, 16.0);
    EXPECT_EQ(monitor.currentSnapshot().diskTotal, 500000000000u);

    auto sampleWith = [&](int64_t score, int64_t cpuScore, double cpu) {
        Sample s;
        s.snapshot = snapshotWith({process(7, "app", cpu, false)});
        s.snapshot.timestamp = rig.clock.now();
        s.snapshot.cpuUsage = cpu;
        s.health = healthOf(score);
        s.health.cpuScore = cpuScore;
        s.health.timestamp = rig.clock.now();
        s.cpu = cpu;
        s.memoryPressure = 33;
        return s;
    };

    const QDateTime start = rig.clock.now();
    monitor.applySample(sampleWith(80, 70, 12));
    EXPECT_EQ(monitor.currentHealth().cpuScore, 70);
    rig.clock.advance(30min);
    // Same overall score: the published record stays, parts and time included.
    monitor.applySample(sampleWith(80, 55, 20));
    EXPECT_EQ(monitor.currentHealth().cpuScore, 70);
    EXPECT_EQ(monitor.currentHealth().timestamp, start);
    EXPECT_EQ(monitor.currentSnapshot().cpuUsage, 20);
    rig.clock.advance(30min);
    monitor.applySample(sampleWith(79, 55, 30));
    EXPECT_EQ(monitor.currentHealth().score, 79);
    EXPECT_EQ(monitor.cpuHistory().size(), 3) << "the first point is exactly at the cutoff";
    rig.clock.advance(1s);
    monitor.applySample(sampleWith(79, 55, 40));
    ASSERT_EQ(monitor.cpuHistory().size(), 3);
    EXPECT_EQ(monitor.cpuHistory().first().usage, 20);
    EXPECT_EQ(monitor.memoryHistory().size(), 3);
    EXPECT_EQ(monitor.memoryHistory().last().pressure, 33);
    EXPECT_EQ(monitor.topProcesses().size(), 1);
    EXPECT_EQ(rig.advisor.submitted, 4);

    // Samples 12, 24 and 36 feed the profile choice, no others.
    for (int i = 5; i <= 36; ++i) {
        if (i == 24) rig.battery.charging = true;
        if (i == 30) rig.profiles.active = QStringLiteral("Battery Saver");
        monitor.applySample(sampleWith(79, 55, 40));
    }
    EXPECT_EQ(monitor.pollCount(), 36);
    EXPECT_EQ(rig.profiles.log,
              (QStringList{"detect 18 0 1", "reason Battery at 18%, not charging", "switch Battery Saver",
                           "detect 18 1 1", "reason Battery at 18%", "switch Battery Saver",
                           "detect 18 1 1"}));  // already the active one at 36

    rig.profiles.enabled = false;
    rig.profiles.log.clear();
    for (int i = 0; i < 12; ++i) monitor.applySample(sampleWith(79, 55, 40));
    EXPECT_TRUE(rig.profiles.log.isEmpty());
}

TEST(PerformanceMonitor, ActionHistoryKeepsTheNewest500)
{
    MonitorRig rig;
    FixtureReaders readers(QStringLiteral("/nonexistent"));
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());
    for (int i = 1; i <= 501; ++i) {
        ActionRecord r;
        r.target = QString::number(i);
        monitor.logAction(r);
    }
    ASSERT_EQ(monitor.actionHistory().size(), 500);
    EXPECT_EQ(monitor.actionHistory().first().target, QStringLiteral("501"));
    EXPECT_EQ(monitor.actionHistory().last().target, QStringLiteral("2"));
}

TEST(PerformanceMonitor, SamplesOnItsTimerAndStoppingForgetsTheBaseline)
{
    QTemporaryDir dir;
    ASSERT_TRUE(copyTree(QStringLiteral(VELTRANMOOR_FIXTURES "/proc/counter-down/before"), dir.path()));
    MonitorRig rig;
    FixtureReaders readers(dir.path());
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());

    monitor.startMonitoring();
    monitor.startMonitoring();  // already running: nothing more
    EXPECT_TRUE(monitor.isMonitoring());
    ASSERT_TRUE(waitUntil([&] { return monitor.pollCount() == 1 && !monitor.actionHistory().isEmpty(); }));
    ASSERT_EQ(monitor.actionHistory().size(), 1);
    EXPECT_EQ(monitor.actionHistory()[0].action, ActionType::systemCheck);
    EXPECT_EQ(monitor.actionHistory()[0].target, QStringLiteral("Veltranmoor"));
    EXPECT_EQ(monitor.actionHistory()[0].detail, QStringLiteral("Monitoring started"));
    EXPECT_TRUE(monitor.actionHistory()[0].wasAutomatic);
    EXPECT_EQ(monitor.currentSnapshot().cpuUsage, 0);

    ASSERT_TRUE(copyTree(QStringLiteral(VELTRANMOOR_FIXTURES "/proc/counter-down/after"), dir.path()));
    rig.scheduler.advance(9s);
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.pollCount(), 1);
    rig.scheduler.advance(1s);
    ASSERT_TRUE(waitUntil([&] { return monitor.pollCount() == 2; }));
    EXPECT_DOUBLE_EQ(monitor.currentSnapshot().cpuUsage, 40.0);

    monitor.stopMonitoring();
    EXPECT_FALSE(monitor.isMonitoring());
    rig.scheduler.advance(60s);
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.pollCount(), 2);

    monitor.startMonitoring();
    ASSERT_TRUE(waitUntil([&] { return monitor.pollCount() == 3; }));
    EXPECT_EQ(monitor.currentSnapshot().cpuUsage, 0) << "no baseline after a stop";
    EXPECT_EQ(monitor.cpuHistory().size(), 3) << "histories stay";

    // The timer follows a new interval at once; a damaged one is held at 1 s.
    rig.settings.setPollingIntervalSeconds(4);
    rig.scheduler.advance(4s);
    ASSERT_TRUE(waitUntil([&] { return monitor.pollCount() == 4; }));
    rig.settings.setPollingIntervalSeconds(0);
    rig.scheduler.advance(999ms);
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.pollCount(), 4);
    rig.scheduler.advance(1ms);
    ASSERT_TRUE(waitUntil([&] { return monitor.pollCount() == 5; }));

    // One far above the settings window's range is held at its longest, with a note.
    QStringList console;
    Log::setSink([&](const QString& line) { console << line; });
    rig.settings.setPollingIntervalSeconds(3e6);
    Log::setSink({});
    EXPECT_EQ(console, QStringList{QStringLiteral("[Veltranmoor] pollingIntervalSeconds 3000000 is above 60 s: sampling every 60 s")});
    rig.scheduler.advance(59s);
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.pollCount(), 5);
    rig.scheduler.advance(1s);
    ASSERT_TRUE(waitUntil([&] { return monitor.pollCount() == 6; }));
    monitor.stopMonitoring();
}

TEST(PerformanceMonitor, SafeCleanupLogsWhatWasFreedThenSamples)
{
    MonitorRig rig;
    FixtureReaders readers(QStringLiteral(VELTRANMOOR_FIXTURES "/proc/basic"));
    PerformanceMonitor monitor(readers.platform(), rig.collaborators());
    CleanupTarget npm;
    npm.name = QStringLiteral("npm Cache");
    npm.sizeBytes = 52300000;
    rig.cleaner.safe = {npm};
    monitor.runSafeCleanup();
    ASSERT_TRUE(waitUntil([&] { return monitor.pollCount() == 1; }));
    ASSERT_EQ(monitor.actionHistory().size(), 1);
    EXPECT_EQ(monitor.actionHistory()[0].action, ActionType::cacheCleared);
    EXPECT_EQ(monitor.actionHistory()[0].detail, QStringLiteral("Moved 52.3 MB to the Trash"));
    EXPECT_FALSE(monitor.actionHistory()[0].wasAutomatic);
}
