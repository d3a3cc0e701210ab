#include "MonitorFakes.h"
#include "core/Json.h"
#include "core/Paths.h"
#include "monitoring/ProcessManager.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <csignal>
#include <linux/sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

void writeIncidentsFile(const QByteArray& bytes)
{
    QDir().mkpath(Paths::appSupportDir());
    QFile f(ProcessManager::incidentsFilePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray incidentsFile()
{
    QFile f(ProcessManager::incidentsFilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ProcessInfoItem item(pid_t pid, const char* name, bool isProtected = false)
{
    ProcessInfoItem p;
    p.pid = pid;
    if (const auto identity = LinuxProcessControl::identityOf(pid)) p.startTime = identity->startTime;
    p.name = QString::fromUtf8(name);
    p.isProtected = isProtected;
    return p;
}

// The real process control, with every signal it sends written down.
struct SignalLog final : ProcessControl {
    LinuxProcessControl real;
    std::shared_ptr<QList<int>> sent = std::make_shared<QList<int>>();

    struct Handle final : ProcessHandle {
        std::shared_ptr<ProcessHandle> inner;
        std::shared_ptr<QList<int>> sent;
        int32_t pid() const override { return inner->pid(); }
        bool isRunning() const override { return inner->isRunning(); }
        ProcessStatus sendSignal(int signal) override
        {
            sent->append(signal);
            return inner->sendSignal(signal);
        }
    };
    ProcessStatus lowerPriority(ProcessIdentity process, ProcessOwner owner) override
    {
        return real.lowerPriority(process, owner);
    }
    OpenedProcess openProcess(ProcessIdentity process, ProcessOwner owner) override
    {
        OpenedProcess opened = real.openProcess(process, owner);
        if (!opened) return opened;
        auto h = std::make_shared<Handle>();
        h->inner = opened.handle;
        h->sent = sent;
        return OpenedProcess::of(h);
    }
};

const QStringList ignoresTerm = {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                 QStringLiteral("trap '' TERM; while :; do sleep 0.1; done")};

}  // namespace

TEST(ProcessManager, CountsIncidentsPerExactNameAndSavesThem)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    LinuxProcessControl control;
    {
        ProcessManager manager(control, scheduler);
        manager.recordIncident(QStringLiteral("renderer"));
        manager.recordIncident(QStringLiteral("renderer"));
        manager.recordIncident(QStringLiteral("Renderer"));
        EXPECT_TRUE(manager.processIncidentCounts().isEmpty()) << "counted on the main thread, after the caller";
        ASSERT_TRUE(waitUntil([&] { return manager.processIncidentCounts().size() == 2; }));
        EXPECT_EQ(manager.processIncidentCounts().value(QStringLiteral("renderer")), 2);
        EXPECT_EQ(manager.processIncidentCounts().value(QStringLiteral("Renderer")), 1);
        EXPECT_TRUE(waitUntil([&] {
            return QJsonDocument::fromJson(incidentsFile()).object() ==
                   QJsonObject({{QStringLiteral("renderer"), 2}, {QStringLiteral("Renderer"), 1}});
        }));
    }
    writeIncidentsFile(R"({"a":1,"b":5,"c":3})");
    ProcessManager reloaded(control, scheduler);
    EXPECT_EQ(reloaded.sortedIncidents(),
              (QList<QPair<QString, int>>{{QStringLiteral("b"), 5}, {QStringLiteral("c"), 3}, {QStringLiteral("a"), 1}}));
}

TEST(ProcessManager, DamagedFileLoadsEmptyAndIsReplacedWholeOnTheNextIncident)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    LinuxProcessControl control;
    const QByteArray damaged[] = {"{\"renderer\":3", "[1,2]", "{\"a\":\"three\"}", "{\"a\":1.5}", "{\"a\":1,\"b\":null}", ""};
    for (const QByteArray& bytes : damaged) {
        writeIncidentsFile(bytes);
        ProcessManager manager(control, scheduler);
        EXPECT_TRUE(manager.processIncidentCounts().isEmpty()) << bytes.constData();
        manager.recordIncident(QStringLiteral("x"));
        ASSERT_TRUE(waitUntil([&] { return !manager.processIncidentCounts().isEmpty(); }));
        // The file is written off the main thread, shortly after.
        EXPECT_TRUE(waitUntil([&] { return incidentsFile() == QByteArray(R"({"x":1})"); })) << bytes.constData();
    }
    // Written through a temporary file and a rename: nothing else is left behind.
    EXPECT_EQ(QDir(Paths::appSupportDir()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("process_incidents.json")});
}

TEST(ProcessManager, TermThenKillThreeSecondsLaterOnlyIfStillRunning)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    SignalLog control;
    ProcessManager manager(control, scheduler);

    ChildProcess stubborn(ignoresTerm);
    ChildProcess polite({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    ASSERT_TRUE(stubborn.started() && polite.started());
    QThread::msleep(100);  // let the shell set its trap

    EXPECT_TRUE(manager.killProcess(item(stubborn.pid(), "stubborn"), ProcessOwner::anyUser));
    EXPECT_TRUE(manager.killProcess(item(polite.pid(), "polite"), ProcessOwner::anyUser));
    ASSERT_TRUE(polite.waitForExit(5s));
    EXPECT_EQ(polite.terminatingSignal(), SIGTERM);
    EXPECT_FALSE(stubborn.waitForExit(300ms)) << "it ignores SIGTERM";

    scheduler.advance(2900ms);
    EXPECT_FALSE(stubborn.waitForExit(100ms));
    scheduler.advance(100ms);
    ASSERT_TRUE(stubborn.waitForExit(5s));
    EXPECT_EQ(stubborn.terminatingSignal(), SIGKILL);
    EXPECT_EQ(*control.sent, (QList<int>{SIGTERM, SIGTERM, SIGKILL})) << "the polite one got no SIGKILL";

    ASSERT_TRUE(waitUntil([&] { return manager.processIncidentCounts().size() == 2; }));
}

TEST(ProcessManager, ProtectedInitAndItselfAreNeverSignalled)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    SignalLog control;
    ProcessManager manager(control, scheduler);
    ChildProcess child({QStringLiteral("/bin/sleep"), QStringLiteral("600")});
    ASSERT_TRUE(child.started());

    EXPECT_FALSE(manager.killProcess(item(child.pid(), "sshd", true), ProcessOwner::anyUser));
    EXPECT_FALSE(manager.killProcess(item(1, "init"), ProcessOwner::anyUser));
    EXPECT_FALSE(manager.killProcess(item(0, "everyone"), ProcessOwner::anyUser));
    EXPECT_FALSE(manager.killProcess(item(::getpid(), "us"), ProcessOwner::anyUser));
    scheduler.advance(5s);
    EXPECT_FALSE(child.waitForExit(100ms));
    EXPECT_TRUE(control.sent->isEmpty());
    QCoreApplication::processEvents();
    EXPECT_TRUE(manager.processIncidentCounts().isEmpty()) << "refusals count no incident";
}

TEST(ProcessManager, APidReusedBeforeTheFollowUpIsNeverSignalled)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    LinuxProcessControl control;
    ProcessManager manager(control, scheduler);

    ChildProcess first(ignoresTerm);
    ASSERT_TRUE(first.started());
    QThread::msleep(100);
    const pid_t pid = first.pid();
    ASSERT_TRUE(manager.killProcess(item(pid, "first"), ProcessOwner::anyUser));
    // The first process goes by other means before the 3 s follow-up...
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(first.waitForExit(5s));

    // ...and a new process is given the same pid (clone3 with set_tid needs CAP_SYS_ADMIN).
    const pid_t reused = ChildProcess::startWithPid(pid, "/bin/sleep");
    if (reused < 0) GTEST_SKIP() << "cannot choose a pid here: " << strerror(errno);
    ASSERT_EQ(reused, pid);

    scheduler.advance(3s);
    QThread::msleep(200);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the new holder of the pid is still running";
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}
