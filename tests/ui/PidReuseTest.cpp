// Every path that signals or renices a process, against a pid that was given to another process
// after the sample: the dashboard's kill and throttle buttons, the assistant's "stop X" and the
// sync pause's SIGSTOP. The paths run in a private pid namespace, where nothing else takes
// pids, and the reuse is forced with clone3(set_tid).
#include "assistant/AssistantFakes.h"
#include "assistant/IntentActions.h"
#include "monitoring/ProcessManager.h"
#include "optimisation/iCloudManager.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "support/ChildProcess.h"
#include "support/FakeMonitorState.h"
#include "support/InlineExecutor.h"
#include "support/ManualScheduler.h"
#include "ui/dashboard/ProcessActions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QByteArray procFile(pid_t pid, const char* name)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The state letter of /proc/PID/stat ('T' when stopped).
char stateOf(pid_t pid)
{
    const QByteArray stat = procFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && close + 2 < stat.size() ? stat[close + 2] : '?';
}

// A process that took over the pid of one that was sampled, killed and reaped.
class ReusedPid {
public:
    // Starts `program` as the sampled process and returns it as the sampler saw it.
    ProcessInfoItem start(const QString& program, const QString& name)
    {
        m_program = QFile::encodeName(program);
        m_name = name.toUtf8();
        m_first = std::make_unique<ChildProcess>(QStringList{program, QStringLiteral("600")});
        const pid_t pid = m_first->pid();
        EXPECT_GT(pid, 0);
        for (int i = 0; i < 200 && procFile(pid, "comm").trimmed() != name.toUtf8(); ++i) QThread::msleep(5);
        ProcessInfoItem item;
        item.pid = pid;
        item.name = name;
        item.cpuUsage = 90;
        item.isRunaway = true;
        const auto identity = LinuxProcessControl::identityOf(pid);
        EXPECT_TRUE(identity);
        if (identity) item.startTime = identity->startTime;
        return item;
    }

    // Ends the sampled process and starts another one under its pid, a few clock ticks later so
    // that its start time differs. Returns the new holder's pid (the same number), or -1.
    pid_t reuse()
    {
        const pid_t pid = m_first->pid();
        ::kill(pid, SIGKILL);
        if (!m_first->waitForExit(5s)) return -1;
        QThread::msleep(50);
        const pid_t child = ChildProcess::startWithPid(pid, m_program);
        if (child != pid) return -1;
        m_second = pid;
        for (int i = 0; i < 200 && procFile(pid, "comm").trimmed() != m_name; ++i) QThread::msleep(5);
        return pid;
    }

    ~ReusedPid()
    {
        if (m_second <= 0) return;
        ::kill(m_second, SIGKILL);
        ::waitpid(m_second, nullptr, 0);
    }

    // The new holder is untouched: running, not stopped, at its old priority.
    void expectUntouched(const char* path) const
    {
        EXPECT_EQ(::waitpid(m_second, nullptr, WNOHANG), 0) << path << ": the new holder of the pid was ended";
        EXPECT_NE(stateOf(m_second), 'T') << path << ": the new holder of the pid was stopped";
        EXPECT_EQ(ChildProcess::niceOf(m_second), 0) << path << ": the new holder of the pid was reniced";
    }

private:
    QByteArray m_program;
    QByteArray m_name;
    std::unique_ptr<ChildProcess> m_first;
    pid_t m_second = -1;
};

}  // namespace

// Runs only inside the private pid namespace that the test below sets up.
TEST(PidReuseInNamespace, DISABLED_EveryPathRefusesAReusedPid)
{
    ASSERT_EQ(::getpid(), 1) << "meant to run as the first process of a private pid namespace";
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("dropbox"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    ManualClock clock;
    ManualScheduler scheduler(clock);
    LinuxProcessControl control;
    ProcessManager manager(control, scheduler);
    FakeMonitorState monitor;
    ProcessActions buttons(control, manager, manager, monitor, clock);

    {
        ReusedPid reused;
        const ProcessInfoItem sampled = reused.start(program, QStringLiteral("dropbox"));
        ASSERT_EQ(reused.reuse(), sampled.pid);
        EXPECT_FALSE(buttons.kill(sampled));
        scheduler.advance(5s);
        reused.expectUntouched("kill");
    }
    {
        ReusedPid reused;
        const ProcessInfoItem sampled = reused.start(program, QStringLiteral("dropbox"));
        ASSERT_EQ(reused.reuse(), sampled.pid);
        EXPECT_FALSE(buttons.throttle(sampled));
        reused.expectUntouched("renice");
    }
    {
        ReusedPid reused;
        const ProcessInfoItem sampled = reused.start(program, QStringLiteral("dropbox"));
        ASSERT_EQ(reused.reuse(), sampled.pid);
        FakeWorld world;
        world.monitor.processes = {sampled};
        const QString said = makeStopAction(QStringLiteral("dropbox"), world.services(&manager)).perform();
        EXPECT_EQ(said, QStringLiteral("dropbox (pid %1) has already exited; nothing was stopped.").arg(sampled.pid));
        scheduler.advance(5s);
        reused.expectUntouched("stop X");
    }
    {
        ReusedPid reused;
        const ProcessInfoItem sampled = reused.start(program, QStringLiteral("dropbox"));
        ASSERT_EQ(reused.reuse(), sampled.pid);
        FakeMonitorState cloudMonitor;
        cloudMonitor.processes = {sampled};
        ProcfsProcessTable table;
        iCloudManager cloud({cloudMonitor, table, control, clock, scheduler});
        cloud.pause(60);
        reused.expectUntouched("sync pause");
        for (const ThrottleEvent& event : cloud.throttleHistory()) {
            EXPECT_FALSE(event.action.contains(QStringLiteral("failed"))) << event.action.toStdString();
        }
        cloud.resume();
    }

    // Nothing happened, so nothing was recorded anywhere.
    QCoreApplication::processEvents();
    EXPECT_TRUE(monitor.actions.isEmpty());
    EXPECT_TRUE(manager.processIncidentCounts().isEmpty());
}

TEST(PidReuse, EveryPathRefusesAReusedPidInAPrivatePidNamespace)
{
    QProcess inner;
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QStringLiteral("unshare"),
                {QStringLiteral("--pid"), QStringLiteral("--fork"), QStringLiteral("--mount-proc"),
                 QFile::decodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toUtf8()),
                 QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=PidReuseInNamespace.*")});
    ASSERT_TRUE(inner.waitForStarted(10000)) << "unshare is part of util-linux";
    ASSERT_TRUE(inner.waitForFinished(90000));
    const QByteArray output = inner.readAll();
    EXPECT_EQ(inner.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(inner.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.constData();
}
