// AI Shield against a real process: a stand-in AI tool that opens a file inside a boundary
// folder and connects to a server on 127.0.0.1, watched through the real /proc, the real
// open-files tool (or /proc alone), with the notice going over a private session bus.
#include "ShieldRig.h"
#include "monitoring/FakeNotificationServer.h"

#include "core/SerialQueue.h"
#include "monitoring/NotificationManager.h"
#include "platform/linux/LsofOpenFilesReader.h"
#include "platform/linux/ProcOpenFilesReader.h"
#include "platform/linux/ProcProcessInventory.h"
#include "support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The real process table, narrowed to the processes this test started, so AI tools that
// happen to run on the machine stay out of the test's log.
struct OwnChildren final : ProcessInventory {
    ProcessInventory& real;
    QSet<int32_t> pids;
    explicit OwnChildren(ProcessInventory& r) : real(r) {}
    std::optional<QList<ProcessBrief>> listProcesses() override
    {
        auto list = real.listProcesses();
        if (list) list->removeIf([this](const ProcessBrief& p) { return !pids.contains(p.pid); });
        return list;
    }
    std::optional<QStringList> arguments(int32_t pid) override { return real.arguments(pid); }
};

struct Listener {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    Listener()
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            port = ntohs(a.sin_port);
        }
    }
    ~Listener() { ::close(fd); }
};

// The children of this process, from every thread's list.
QSet<int32_t> childrenOfThisProcess()
{
    QSet<int32_t> children;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(QStringLiteral("/proc/self/task/%1/children").arg(task));
        if (!list.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& pid : list.readAll().split(' ')) {
            if (!pid.trimmed().isEmpty()) children.insert(pid.trimmed().toInt());
        }
    }
    return children;
}

bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace

TEST(AIShieldLive, ARealAIToolBreachingABoundaryIsLoggedAlertedAndNoticed)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isValid());
    FakeNotificationServer server;
    ASSERT_TRUE(server.registered);
    const QString lsof = LsofOpenFilesReader::findProgram();
    ASSERT_FALSE(lsof.isEmpty()) << "lsof is needed: scripts/install-deps";

    for (const bool withTool : {true, false}) {
        SCOPED_TRACE(withTool ? "through lsof" : "through /proc");
        QTemporaryDir dir;
        const QString vault = dir.path() + QStringLiteral("/vault");
        ASSERT_TRUE(QDir().mkpath(vault));
        QFile key(vault + QStringLiteral("/key.pem"));
        ASSERT_TRUE(key.open(QIODevice::WriteOnly));
        key.close();
        Listener listener;
        ASSERT_GT(listener.port, 0);

        SystemClock clock;
        QtScheduler scheduler;
        UserDefaults defaults(dir.path() + QStringLiteral("/settings.json"));
        AppSettings settings(defaults, clock);
        AIShieldV1::saveBoundaryPaths(settings, {vault});
        ProcProcessInventory procInventory;
        OwnChildren inventory(procInventory);
        ProcOpenFilesReader proc;
        LsofOpenFilesReader tool(withTool ? lsof : dir.path() + QStringLiteral("/no-lsof"), 5s, proc);
        NotificationManager notices(clock);
        ScriptedSnooze snooze;
        const QString logPath = dir.path() + QStringLiteral("/ai-shield.log");
        SerialQueue shieldQueue(QStringLiteral("shield"));
        SerialQueue boundaryQueue(QStringLiteral("boundary"));
        AIShield shield({.inventory = inventory, .queue = shieldQueue, .scheduler = scheduler, .clock = clock, .logPath = logPath});
        AIShieldV1 boundary({.shield = shield,
                             .settings = settings,
                             .reader = tool,
                             .worker = boundaryQueue,
                             .notifier = notices,
                             .snooze = snooze,
                             .scheduler = scheduler,
                             .clock = clock});

        QProcess agent;
        agent.start(QStringLiteral(VELTRANMOOR_AI_AGENT), {vault + QStringLiteral("/key.pem"), QString::number(listener.port),
                                                         QStringLiteral("--api-key"), QStringLiteral("s3cr3t-value")});
        ASSERT_TRUE(agent.waitForReadyRead(10000)) << agent.errorString().toStdString();
        ASSERT_TRUE(agent.readAll().startsWith("ready "));
        const int32_t pid = int32_t(agent.processId());
        inventory.pids.insert(pid);

        QSignalSpy published(&shield, &AIShield::processesChanged);
        shield.start();
        ASSERT_TRUE(published.wait(10000));
        ASSERT_EQ(shield.processes().size(), 1);
        EXPECT_EQ(shield.processes()[0].name, QStringLiteral("claude-agent"));

        QSignalSpy scanned(&boundary, &AIShieldV1::scanFinished);
        boundary.scanOpenFilesAndEndpoints();
        ASSERT_TRUE(scanned.wait(15000));
        ASSERT_EQ(boundary.boundaryAlerts().size(), 1);
        EXPECT_EQ(boundary.boundaryAlerts()[0].openPath, vault + QStringLiteral("/key.pem"));
        bool reachesServer = false;
        for (const AINetworkEndpoint& e : boundary.endpoints()) {
            reachesServer |= e.pid == pid && e.remote.endsWith(QStringLiteral(":%1").arg(listener.port));
        }
        EXPECT_TRUE(reachesServer);
        ASSERT_TRUE(waitUntil([&] { return !server.calls.isEmpty(); }));
        EXPECT_EQ(server.calls.last().summary, QStringLiteral("AI Shield \u2014 boundary breach"));
        EXPECT_EQ(server.calls.last().body, QStringLiteral("claude-agent (pid %1) has %2/key.pem open (boundary: %2).").arg(pid).arg(vault));
        EXPECT_EQ(server.calls.last().hints.value(QStringLiteral("category")).toString(), QStringLiteral("AI_SHIELD_BOUNDARY"));
        server.calls.clear();

        // The tool ends: the next poll logs its end.
        agent.closeWriteChannel();
        ASSERT_TRUE(agent.waitForFinished(10000));
        QSignalSpy emptied(&shield, &AIShield::processesChanged);
        shield.diffAndLogProcesses();
        ASSERT_TRUE(emptied.wait(10000));
        shield.stop();
        shieldQueue.sync([] {});

        const QString start = QStringLiteral("START pid=%1 name=claude-agent cmd=%2 %3/key.pem %4 --api-key <redacted>")
                                  .arg(pid)
                                  .arg(QStringLiteral(VELTRANMOOR_AI_AGENT), vault)
                                  .arg(listener.port);
        const QString alert = QStringLiteral("ALERT Boundary breach (advisory) \u2014 pid=%1 name=claude-agent path=%2/key.pem boundary=%2")
                                  .arg(pid)
                                  .arg(vault);
        EXPECT_EQ(logMessages(logPath), (QStringList{"=== AI Shield session start ===", start, alert, alert,
                                                     QStringLiteral("STOP  pid=%1").arg(pid), "=== AI Shield session stop ==="}));
        EXPECT_FALSE(readLogLines(logPath).join(QLatin1Char('\n')).contains(QStringLiteral("s3cr3t")));
    }
}

// The readers as the application wires them: /proc first, the open-files tool only where /proc
// keeps a process's descriptors closed. Here the tool is a script that leaves a mark when it
// runs: watching an AI tool of this user reports its file, its connection and (to the reader)
// its listener, and starts no process.
TEST(AIShieldLive, AWatchedAIToolIsReadFromProcWithoutStartingAProcess)
{
    QTemporaryDir dir;
    const QString vault = dir.path() + QStringLiteral("/vault");
    ASSERT_TRUE(QDir().mkpath(vault));
    QFile key(vault + QStringLiteral("/key.pem"));
    ASSERT_TRUE(key.open(QIODevice::WriteOnly));
    key.close();
    const QString mark = dir.path() + QStringLiteral("/tool-ran");
    const QString tool = dir.path() + QStringLiteral("/lsof");
    QFile script(tool);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"$@\" >> '%1'\n").arg(mark).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Listener server;
    ASSERT_GT(server.port, 0);

    SystemClock clock;
    QtScheduler scheduler;
    UserDefaults defaults(dir.path() + QStringLiteral("/settings.json"));
    AppSettings settings(defaults, clock);
    AIShieldV1::saveBoundaryPaths(settings, {vault});
    ProcProcessInventory procInventory;
    OwnChildren inventory(procInventory);
    LsofOpenFilesReader lsof(tool, 5s);
    ProcOpenFilesReader reader(QStringLiteral("/proc"), &lsof);
    RecordingNotifier notices;
    ScriptedSnooze snooze;
    SerialQueue shieldQueue(QStringLiteral("shield"));
    SerialQueue boundaryQueue(QStringLiteral("boundary"));
    AIShield shield({.inventory = inventory,
                     .queue = shieldQueue,
                     .scheduler = scheduler,
                     .clock = clock,
                     .logPath = dir.path() + QStringLiteral("/ai-shield.log")});
    AIShieldV1 boundary({.shield = shield,
                         .settings = settings,
                         .reader = reader,
                         .worker = boundaryQueue,
                         .notifier = notices,
                         .snooze = snooze,
                         .scheduler = scheduler,
                         .clock = clock});

    QProcess agent;
    agent.start(QStringLiteral(VELTRANMOOR_AI_AGENT), {vault + QStringLiteral("/key.pem"), QString::number(server.port)});
    ASSERT_TRUE(agent.waitForReadyRead(10000)) << agent.errorString().toStdString();
    const QByteArray ready = agent.readAll().trimmed();
    ASSERT_TRUE(ready.startsWith("ready "));
    const uint ownPort = ready.mid(6).toUInt();
    const int32_t pid = int32_t(agent.processId());
    inventory.pids.insert(pid);
    QSignalSpy published(&shield, &AIShield::processesChanged);
    shield.start();
    ASSERT_TRUE(published.wait(10000));
    ASSERT_EQ(shield.processes().size(), 1);

    const QSet<int32_t> childrenBefore = childrenOfThisProcess();
    ASSERT_TRUE(childrenBefore.contains(pid));
    QSignalSpy scanned(&boundary, &AIShieldV1::scanFinished);
    for (int round = 0; round < 3; ++round) {
        boundary.scanOpenFilesAndEndpoints();
        ASSERT_TRUE(scanned.wait(15000));
        EXPECT_EQ(childrenOfThisProcess(), childrenBefore);
    }
    EXPECT_FALSE(QFileInfo::exists(mark)) << "the open-files tool ran";

    ASSERT_EQ(boundary.boundaryAlerts().size(), 1);
    EXPECT_EQ(boundary.boundaryAlerts()[0].openPath, vault + QStringLiteral("/key.pem"));
    EXPECT_EQ(boundary.boundaryAlerts()[0].pid, pid);
    EXPECT_EQ(notices.notices.size(), 1);
    QStringList remotes;
    for (const AINetworkEndpoint& e : boundary.endpoints()) remotes.append(e.remote);
    EXPECT_EQ(remotes, QStringList{QStringLiteral("127.0.0.1:%1").arg(server.port)});
    // The listener is among the agent's sockets, by its own address, and has no remote end.
    const QString sockets = reader.endpointFields(pid);
    EXPECT_TRUE(sockets.contains(QStringLiteral("\nn127.0.0.1:%1\n").arg(ownPort))) << sockets.toStdString();
    EXPECT_FALSE(QFileInfo::exists(mark));

    agent.closeWriteChannel();
    ASSERT_TRUE(agent.waitForFinished(10000));
    shield.stop();
    shieldQueue.sync([] {});
}
