#include "AssistantFakes.h"

#include "assistant/IntentActions.h"
#include "monitoring/ProcessManager.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "support/ChildProcess.h"
#include "support/ManualScheduler.h"

#include <QTemporaryDir>
#include <csignal>

#include <gtest/gtest.h>

namespace {

CleanupTarget cleaned(uint64_t bytes)
{
    CleanupTarget target;
    target.sizeBytes = bytes;
    return target;
}

}  // namespace

TEST(IntentActions, CleanAndStatus)
{
    FakeWorld w;
    const TavrilonAction sized = makeCleanAction(25, w.services());
    const TavrilonAction plain = makeCleanAction(0, w.services());
    EXPECT_EQ(sized.title, QStringLiteral("Free up ~25GB"));
    EXPECT_EQ(plain.title, QStringLiteral("Clean caches & junk"));
    EXPECT_EQ(sized.epitopeID, QStringLiteral("clean-caches"));
    EXPECT_EQ(sized.outcomeMetric, OutcomeMetric::diskFreedGB);
    EXPECT_FALSE(sized.hasUndo());
    EXPECT_TRUE(sized.concerns.isEmpty() && sized.saferAlternatives.isEmpty());

    EXPECT_EQ(plain.perform(), QStringLiteral("Nothing safe to clean right now."));
    w.cleaner.cleaned = {cleaned(1ULL << 30), cleaned(1ULL << 29)};
    EXPECT_EQ(sized.perform(), QStringLiteral("Moved 1.61 GB from 2 cache locations to the Trash."));
    EXPECT_TRUE(sized.slow) << "walks and moves files: the chat runs it on a worker";
    EXPECT_EQ(w.cleaner.runs, 2);  // the size changes only the title

    w.monitor.health.score = 87;
    w.monitor.snapshot.cpuUsage = 12.9;
    w.monitor.snapshot.memoryPressure = 55.99;
    w.monitor.snapshot.diskTotal = 500ULL << 30;
    w.monitor.snapshot.diskUsed = (500ULL << 30) - (312ULL << 30) - (1ULL << 28);
    const TavrilonAction status = makeStatusAction(w.services());
    EXPECT_EQ(status.risk, ActionRisk::safe);
    EXPECT_EQ(status.perform(), QStringLiteral("Health 87/100 \u00B7 CPU 12% \u00B7 Mem pressure 55% \u00B7 312GB free"));

    const TavrilonAction dns = makeDNSFlushAction(w.services());
    EXPECT_EQ(dns.perform(), QStringLiteral("DNS cache flush requested."));
    EXPECT_EQ(w.dns.flushes, 1);
    EXPECT_EQ(makeMemoryReliefAction().perform(),
              QStringLiteral("Requested memory relief \u2014 this application's unused memory returned to the system."));
}

TEST(IntentActions, ProfileSwitchesAndUndoesToTheEarlierMode)
{
    FakeWorld w;
    w.profiles.active = PerformanceMode::developer;
    const TavrilonAction action = makeProfileAction(PerformanceMode::gaming, w.services());
    EXPECT_EQ(action.title, QStringLiteral("Optimize: Gaming"));
    EXPECT_EQ(action.detail, QStringLiteral("Maximum FPS. Kill background resource hogs."));
    EXPECT_EQ(action.epitopeID, QStringLiteral("optimize:gaming"));
    EXPECT_EQ(action.outcomeMetric, OutcomeMetric::cpuDrop);
    EXPECT_EQ(action.risk, ActionRisk::reversible);

    EXPECT_EQ(action.perform(), QStringLiteral("Switched to Gaming profile."));
    EXPECT_EQ(w.profiles.active, PerformanceMode::gaming);
    w.profiles.switchProfile(PerformanceMode::batterySaver);  // changed again before the undo
    action.undo();
    EXPECT_EQ(w.profiles.active, PerformanceMode::developer);

    w.monitor.snapshot.cpuTempC = 60;
    const TavrilonAction creative = makeProfileAction(PerformanceMode::creativeWork, w.services());
    EXPECT_EQ(creative.outcomeMetric, OutcomeMetric::tempDropC);
    EXPECT_EQ(creative.epitopeID, QStringLiteral("optimize:creative work"));
}

TEST(IntentActions, StopMatchesWholeWordsInCpuOrder)
{
    FakeWorld w;
    w.monitor.processes = {makeProcess(QStringLiteral("sendmail"), 40, 90, 10),
                           makeProcess(QStringLiteral("Chrome Helper"), 41, 50, 10),
                           makeProcess(QStringLiteral("chrome"), 42, 30, 10),
                           makeProcess(QStringLiteral("Finder"), 43, 20, 10, true)};
    const TavrilonAction chrome = makeStopAction(QStringLiteral("chrome"), w.services());
    EXPECT_EQ(chrome.title, QStringLiteral("Stop chrome"));
    EXPECT_EQ(chrome.risk, ActionRisk::destructive);
    EXPECT_EQ(chrome.epitopeID, QStringLiteral("stop:chrome"));
    EXPECT_EQ(chrome.concerns, (QStringList{QStringLiteral("Force-quitting loses any unsaved work in chrome."),
                                            QStringLiteral("If chrome is mid-write, files it was saving may be corrupted."),
                                            QStringLiteral("System-critical processes are refused even with YOLO on.")}));
    EXPECT_EQ(chrome.saferAlternatives.size(), 2);
    EXPECT_EQ(chrome.perform(), QStringLiteral("Sent stop signal to Chrome Helper (pid 41)."));
    EXPECT_EQ(w.recordingProcesses.terminated, QList<int32_t>{41});

    EXPECT_EQ(makeStopAction(QStringLiteral("end"), w.services()).perform(),
              QStringLiteral("No running process matched \u201Cend\u201D."));
    EXPECT_EQ(makeStopAction(QStringLiteral("finder"), w.services()).perform(),
              QStringLiteral("Finder is protected and was not stopped."));
    EXPECT_EQ(w.recordingProcesses.terminated.size(), 1);

    // A signal that fails is reported as failed.
    w.recordingProcesses.failure = ProcessStatus::failed(QStringLiteral("Operation not permitted"));
    EXPECT_EQ(makeStopAction(QStringLiteral("chrome"), w.services()).perform(),
              QStringLiteral("Sent stop signal to Chrome Helper (pid 41) \u2014 failed: Operation not permitted."));
    // Asked for by name: only the user's own processes may be reached.
    EXPECT_TRUE(std::all_of(w.recordingProcesses.owners.begin(), w.recordingProcesses.owners.end(),
                            [](ProcessOwner o) { return o == ProcessOwner::thisUser; }));

    // The process seen has gone (its pid may be another's now): no signal is claimed.
    w.recordingProcesses.failure = ProcessStatus::exited();
    EXPECT_EQ(makeStopAction(QStringLiteral("chrome"), w.services()).perform(),
              QStringLiteral("Chrome Helper (pid 41) has already exited; nothing was stopped."));
    // Another user's process is passed over for the next one of that name; when none is the
    // user's, the first one says why.
    w.recordingProcesses.failure = ProcessStatus::otherUser(41);
    w.recordingProcesses.owners.clear();
    EXPECT_EQ(makeStopAction(QStringLiteral("chrome"), w.services()).perform(),
              QStringLiteral("Chrome Helper (pid 41) belongs to another user and was not stopped."));
    EXPECT_EQ(w.recordingProcesses.owners.size(), 2) << "both chrome processes were tried";
}

TEST(IntentActions, AVersionAfterANameEndsTheWord)
{
    const struct {
        const char* name;
        const char* target;
        bool matches;
    } rows[] = {
        {"python3", "python", true},         {"python3.11", "python", true}, {"php8.2", "php", true},
        {"php-fpm8.2", "php", true},         {"pythonista", "python", false}, {"python3x", "python", false},
        {"python3", "python3", true},        {"python3", "python2", false},   {"sendmail", "end", false},
        {"google chrome helper", "chrome", true},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(containsWholeWords(QString::fromLatin1(r.name), QString::fromLatin1(r.target)), r.matches)
            << r.name << " / " << r.target;
    }
}

TEST(IntentActions, StopPythonStopsARealPython3)
{
    QTemporaryDir dir;
    ChildProcess other({ChildProcess::writeSpinner(dir.path(), QStringLiteral("pythonista"))});
    ChildProcess python({ChildProcess::writeSpinner(dir.path(), QStringLiteral("python3"))});
    ASSERT_TRUE(other.started() && python.started());

    // The names the sampler would publish for the two children, busiest first.
    ProcfsProcessTable table(QStringLiteral("/proc"));
    std::vector<ProcessEntry> entries;
    ASSERT_TRUE(table.readProcesses(entries));
    FakeWorld w;
    for (const ProcessEntry& e : entries) {
        if (e.pid == other.pid()) w.monitor.processes.prepend(makeProcess(table.displayName(e), e.pid, 90, 10));
        if (e.pid == python.pid()) w.monitor.processes.append(makeProcess(table.displayName(e), e.pid, 50, 10));
    }
    ASSERT_EQ(w.monitor.processes.size(), 2);
    ASSERT_EQ(w.monitor.processes.last().name, QStringLiteral("python3"));

    ManualClock clock;
    ManualScheduler scheduler(clock);
    LinuxProcessControl control;
    ProcessManager manager(control, scheduler);
    EXPECT_EQ(makeStopAction(QStringLiteral("python"), w.services(&manager)).perform(),
              QStringLiteral("Sent stop signal to python3 (pid %1).").arg(python.pid()));
    ASSERT_TRUE(python.waitForExit(std::chrono::seconds(5)));
    EXPECT_EQ(python.terminatingSignal(), SIGTERM);
    EXPECT_FALSE(other.waitForExit(std::chrono::milliseconds(50))) << "pythonista is another program";
}
