#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/Notifier.h"
#include "optimisation/AIWorkloadMode.h"
#include "optimisation/CloudSyncPause.h"
#include "platform/linux/LinuxProcessControl.h"
#include "support/ChildProcess.h"
#include "support/FakeMonitorState.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

using namespace std::chrono_literals;

namespace {

struct Notices final : Notifier {
    QStringList posted;  // "title: body"
    void notifyProcessThrottled(const QString&, double) override {}
    void notifyEmergencyCleanup(double, std::optional<double>) override {}
    void notifyLowDisk(double, std::optional<double>) override {}
    void notifyLowRootDisk(double) override {}
    void notifyHealthWarning(int64_t) override {}
    void notify(const QString& title, const QString& body) override { posted << title + QStringLiteral(": ") + body; }
    void notifyCleanupComplete(const QString&) override {}
};

struct Incidents final : IncidentLedger {
    QStringList names;
    void recordIncident(const QString& name) override { names << name; }
    QList<QPair<QString, int>> sortedIncidents() const override { return {}; }
};

struct CloudPauses final : CloudSyncPause {
    QList<double> seconds;
    void pause(double s) override { seconds << s; }
};

ProcessInfoItem process(int32_t pid, const QString& name, bool isProtected = false)
{
    ProcessInfoItem p;
    p.pid = pid;
    // As the sampler sees it, so a real child can be reached.
    if (const auto identity = LinuxProcessControl::identityOf(pid)) p.startTime = identity->startTime;
    p.name = name;
    p.isProtected = isProtected;
    return p;
}

struct WorkloadRig {
    UserDefaults defaults{UserDefaults::defaultPath()};
    ManualClock clock;
    AppSettings settings{defaults, clock};
    ManualScheduler scheduler{clock};
    FakeMonitorState monitor;
    Incidents incidents;
    LinuxProcessControl control;
    Notices notices;
    CloudPauses cloud;
    int reliefs = 0;
    AIWorkloadMode mode{AIWorkloadMode::Collaborators{
        .settings = settings,
        .monitor = monitor,
        .incidents = incidents,
        .processes = control,
        .notifier = notices,
        .cloud = cloud,
        .relieveMemory = [this] { ++reliefs; },
        .clock = clock,
        .scheduler = scheduler,
    }};

    // The records and incidents land on the main queue after the evaluation.
    QStringList records()
    {
        QCoreApplication::sendPostedEvents();
        QStringList out;
        for (auto it = monitor.actions.crbegin(); it != monitor.actions.crend(); ++it) {
            out << ActionRecord::rawValue(it->action) + QStringLiteral(" | ") + it->target + QStringLiteral(" | ") +
                       it->detail;
        }
        monitor.actions.clear();
        return out;
    }
};

}  // namespace

TEST(AIWorkloadMode, DetectsTheHeaviestAIToolByLowerCasedFragment)
{
    WorkloadRig rig;
    const struct {
        QStringList names;
        std::optional<QString> expected;
    } rows[] = {
        {{"bash", "Cursor Helper (Renderer)"}, QStringLiteral("Cursor Helper (Renderer)")},
        {{"Claude"}, QStringLiteral("Claude")},
        {{"LM Studio"}, QStringLiteral("LM Studio")},
        {{"Code Helper (Plugin)"}, QStringLiteral("Code Helper (Plugin)")},
        // The heavier process wins, whatever the order of the fragments.
        {{"whisper-server", "cursor"}, QStringLiteral("whisper-server")},
        {{"code", "helper", "bash"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.names.join(QLatin1Char(',')).toStdString());
        rig.monitor.processes.clear();
        for (const QString& name : r.names) rig.monitor.processes << process(100, name);
        EXPECT_EQ(rig.mode.detectAITool(), r.expected);
    }
}

TEST(AIWorkloadMode, ActivationLowersRealCompetitorsRelievesMemoryPausesSyncAndTellsTheUser)
{
    WorkloadRig rig;
    ChildProcess spotify({QStringLiteral("/bin/sleep"), QStringLiteral("60")});
    ChildProcess slack({QStringLiteral("/bin/sleep"), QStringLiteral("60")});
    ASSERT_TRUE(spotify.started() && slack.started());
    const int slackNiceBefore = ChildProcess::niceOf(slack.pid()).value_or(-100);
    rig.settings.setAiWorkloadModePauseDurationMin(25);
    // pid 1 is never reniced: its change fails for real.
    rig.monitor.processes = {process(slack.pid(), "Slack Helper", true), process(9, "ollama"),
                             process(spotify.pid(), "Spotify"), process(1, "Mail")};
    QSignalSpy activeChanged(&rig.mode, &AIWorkloadMode::isActiveChanged);

    rig.mode.start();
    EXPECT_TRUE(rig.mode.isActive());
    EXPECT_EQ(activeChanged.count(), 1);
    EXPECT_EQ(rig.mode.detectedAITool(), QStringLiteral("ollama"));
    EXPECT_EQ(rig.mode.lastActivation(), rig.clock.now());
    EXPECT_EQ(ChildProcess::niceOf(spotify.pid()), 19);
    EXPECT_EQ(ChildProcess::niceOf(slack.pid()), slackNiceBefore) << "a protected competitor is left alone";
    EXPECT_EQ(rig.mode.competitorsThrottledThisSession(), QStringList{"Spotify"});
    EXPECT_EQ(rig.reliefs, 1);
    EXPECT_EQ(rig.cloud.seconds, QList<double>{1500.0});
    EXPECT_EQ(rig.notices.posted,
              QStringList{"AI Workload Mode active: Detected ollama. Throttled 1 competitor app, freed inactive "
                          "memory, paused cloud sync."});
    EXPECT_TRUE(rig.incidents.names.isEmpty()) << "counted on the main queue, after the evaluation";
    const QStringList records = rig.records();
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[0], QStringLiteral("Process Throttled | Spotify | AI Workload Mode (ollama)"));
    EXPECT_TRUE(records[1].startsWith(QStringLiteral("Process Throttled | Mail | AI Workload Mode (ollama) \u2014 failed: ")))
        << qPrintable(records[1]);
    EXPECT_EQ(records[2], QStringLiteral("System Check | ollama | AI Workload Mode active \u2014 throttled 1, cloud sync paused 25m"));
    EXPECT_EQ(rig.incidents.names, QStringList{"Spotify"}) << "a failed change counts no incident";

    // The same tool at the next evaluations: nothing more happens.
    rig.scheduler.advance(30s);
    rig.scheduler.advance(30s);
    EXPECT_EQ(rig.reliefs, 1);
    EXPECT_TRUE(rig.records().isEmpty());

    // The tool falls out of the heaviest processes.
    rig.monitor.processes = {process(spotify.pid(), "Spotify")};
    rig.scheduler.advance(30s);
    EXPECT_FALSE(rig.mode.isActive());
    EXPECT_EQ(activeChanged.count(), 2);
    EXPECT_EQ(rig.mode.detectedAITool(), std::nullopt);
    EXPECT_EQ(rig.mode.lastDeactivation(), rig.clock.now());
    EXPECT_EQ(rig.mode.competitorsThrottledThisSession(), QStringList{"Spotify"}) << "kept after the end";
    EXPECT_EQ(rig.records(), QStringList{"System Check | ollama | AI Workload Mode ended \u2014 AI tool no longer running"});
}

TEST(AIWorkloadMode, PauseLengthNoticeSwitchAndToolChanges)
{
    WorkloadRig rig;
    rig.settings.setAiWorkloadModePauseDurationMin(0);
    rig.settings.setNotificationsEnabled(false);
    rig.monitor.processes = {process(50, "claude")};
    rig.mode.start();
    rig.mode.start();  // a second start neither adds a timer nor evaluates
    EXPECT_EQ(rig.scheduler.pendingCount(), 1);
    EXPECT_EQ(rig.reliefs, 1);
    EXPECT_EQ(rig.cloud.seconds, QList<double>{60.0});
    EXPECT_TRUE(rig.notices.posted.isEmpty());
    EXPECT_EQ(rig.records(), QStringList{"System Check | claude | AI Workload Mode active \u2014 throttled 0, cloud sync paused 1m"});

    // Another tool leads: a new activation with another pause; notices on again say "apps".
    rig.settings.setAiWorkloadModePauseDurationMin(-3);
    rig.settings.setNotificationsEnabled(true);
    rig.monitor.processes = {process(51, "ChatGPT"), process(50, "claude")};
    rig.scheduler.advance(30s);
    EXPECT_EQ(rig.mode.detectedAITool(), QStringLiteral("ChatGPT"));
    EXPECT_EQ(rig.cloud.seconds, (QList<double>{60.0, 60.0}));
    EXPECT_EQ(rig.notices.posted,
              QStringList{"AI Workload Mode active: Detected ChatGPT. Throttled 0 competitor apps, freed inactive "
                          "memory, paused cloud sync."});
    rig.records();

    // Switched off while active: ends at the next evaluation, then stays off.
    rig.settings.setAiWorkloadModeEnabled(false);
    rig.scheduler.advance(30s);
    EXPECT_FALSE(rig.mode.isActive());
    EXPECT_EQ(rig.records(), QStringList{"System Check | ChatGPT | AI Workload Mode ended \u2014 Setting disabled"});
    rig.scheduler.advance(30s);
    EXPECT_TRUE(rig.records().isEmpty());
    EXPECT_EQ(rig.reliefs, 2);
}
