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
        ASSERT_EQ(agent.readAll(), QByteArray("ready\n"));
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
