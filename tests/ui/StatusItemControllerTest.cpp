// The status item on the offscreen platform (no tray there): install, redraws, clicks, the
// menu rebuilt at opening from the guards' state, and the menu's actions.
#include "DashboardRig.h"
#include "guards/ShieldRig.h"

#include "core/Log.h"
#include "guards/AIShieldStatus.h"
#include "guards/SnoozeGuardService.h"
#include "guards/SnoozeGuardStatus.h"
#include "guards/WorkGuardStatus.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/StatusItemController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>

using namespace dashboard_rig;

namespace {

struct Guards final : SnoozeGuardService, SnoozeGuardStatus, AIShieldStatus, WorkGuardStatus, Lifecycle {
    QStringList journal;
    bool running = false;
    bool cameraDenied = false;
    bool noCamera = false;  // the camera watch found no camera to open
    QList<AIProcessInfo> ai;
    int64_t snapshots = 0;

    void start() override { journal << QStringLiteral("start"); }
    void stop() override { journal << QStringLiteral("stop"); }
    void stopDrowsinessDetector() override { journal << QStringLiteral("drowsiness.stop"); }
    void stopStuckKeyWatcher() override { journal << QStringLiteral("stuckKey.stop"); }
    void setIsRunning(bool r) override
    {
        running = r;
        journal << QStringLiteral("isRunning=%1").arg(r);
    }
    void dismissAlert() override { journal << QStringLiteral("dismiss"); }
    bool isRunning() const override { return running; }
    bool cameraPermissionDenied() const override { return cameraDenied; }
    bool accessibilityPermissionDenied() const override { return false; }
    bool cameraWatchRunning() const override { return running && !cameraDenied && !noCamera; }
    bool keyWatchRunning() const override { return running; }
    QString cameraFailure() const override { return noCamera ? QStringLiteral("No camera") : QString(); }
    void showAlert(const QString& reason, int level) override { journal << QStringLiteral("alert %1 %2").arg(level).arg(reason); }
    QList<AIProcessInfo> processes() const override { return ai; }
    std::optional<QString> lastSuspiciousEvent() const override { return std::nullopt; }
    QString logPath() const override { return QStringLiteral("/data/ai-shield.log"); }
    int64_t totalSnapshots() const override { return snapshots; }
    std::optional<QDateTime> lastSweepAt() const override { return std::nullopt; }
    std::optional<QString> lastTrigger() const override { return std::nullopt; }
    QList<RankedFile> lastRanked() const override { return {}; }
    QString snapshotsRoot() const override { return QStringLiteral("/data/Snapshots"); }
};

// The snooze service and the work guard share one journal, so each is a view on it.
struct WorkGuardLifecycle final : Lifecycle {
    QStringList& journal;
    explicit WorkGuardLifecycle(QStringList& j) : journal(j) {}
    void start() override { journal << QStringLiteral("workGuard.start"); }
    void stop() override { journal << QStringLiteral("workGuard.stop"); }
};

struct ControllerRig {
    Rig rig;
    Guards guards;
    WorkGuardLifecycle workGuard{guards.journal};
    DesktopHUDController hud{DesktopHUDDeps{.defaults = rig.defaults}};
    QStringList calls;
    QStringList logged;
    AIShieldStatus* shieldOverride = nullptr;  // the guards' own answers unless a test brings a real watch
    StatusItemController controller{StatusItemDeps{
        .perf = rig.monitor,
        .battery = rig.battery,
        .settings = rig.settings,
        .defaults = rig.defaults,
        .themes = rig.themes,
        .profiles = rig.profiles,
        .snoozeControl = guards,
        .snooze = guards,
        .aiShield = shieldOverride ? *shieldOverride : static_cast<AIShieldStatus&>(guards),
        .workGuardState = guards,
        .workGuard = workGuard,
        .hud = hud,
        .clock = rig.clock,
        .makeReadout = [] { return new QLabel(QStringLiteral("readout")); },
        .openDashboard = [this] { calls << QStringLiteral("dashboard"); },
        .revealFile = [this](const QString& p) { calls << QStringLiteral("reveal ") + p; },
        .openFolder = [this](const QString& p) { calls << QStringLiteral("open ") + p; },
        .quit = [this] { calls << QStringLiteral("quit"); },
    }};

    explicit ControllerRig(AIShieldStatus* aiShield = nullptr) : shieldOverride(aiShield)
    {
        Log::setSink([this](const QString& l) { logged << l; });
        controller.install();
    }
    ~ControllerRig() { Log::setSink({}); }

    QAction* entry(const QString& title) const
    {
        for (QAction* a : controller.menu()->actions())
            if (a->text() == title) return a;
        return nullptr;
    }
    void choose(const QString& title)
    {
        Q_EMIT controller.menu()->aboutToShow();
        QAction* a = entry(title);
        ASSERT_NE(a, nullptr) << title.toStdString();
        a->trigger();
        settle();
    }
};

}  // namespace

TEST(StatusItemController, WithoutATrayItSaysSoOnceAndStillDraws)
{
    ControllerRig r;
    EXPECT_FALSE(r.controller.trayAvailable());
    EXPECT_EQ(r.logged.filter(QStringLiteral("No system tray")).size(), 1);
    r.controller.install();
    EXPECT_EQ(r.logged.filter(QStringLiteral("No system tray")).size(), 1);

    r.rig.publishSample(10, 20, 91);
    settle();
    EXPECT_EQ(r.controller.trayIcon()->toolTip(), QStringLiteral("Veltranmoor AI \u2014 91 \u25CB"));
    EXPECT_FALSE(r.controller.trayIcon()->icon().isNull());

    r.rig.settings.setSnoozeGuardEnabled(true);
    r.guards.running = true;
    r.rig.publishSample(10, 20, 42);
    settle();
    EXPECT_EQ(r.controller.trayIcon()->toolTip(), QStringLiteral("Veltranmoor AI \u2014 42 \u25CF"));
}

TEST(StatusItemController, ClicksTogglePopoverOrOpenTheMenu)
{
    ControllerRig r;
    ASSERT_NE(r.controller.popover(), nullptr);
    r.controller.handleClick(QSystemTrayIcon::Trigger, false);
    EXPECT_TRUE(r.controller.isPopoverShown());
    r.controller.handleClick(QSystemTrayIcon::Trigger, false);
    EXPECT_FALSE(r.controller.isPopoverShown());

    r.controller.handleClick(QSystemTrayIcon::Trigger, true);
    EXPECT_FALSE(r.controller.isPopoverShown());
    EXPECT_TRUE(r.controller.menu()->isVisible());
    r.controller.menu()->hide();
    EXPECT_EQ(r.logged.filter(QStringLiteral("[StatusItem] click eventType=trigger isRight=true")).size(), 1);
    EXPECT_EQ(r.logged.filter(QStringLiteral("[StatusItem] click eventType=trigger isRight=false")).size(), 2);
}

TEST(StatusItemController, MenuIsRebuiltFromLiveStateAtEveryOpening)
{
    ControllerRig r;
    EXPECT_NE(r.entry(QStringLiteral("AI Shield: 0 AI processes")), nullptr);
    r.guards.ai = {{42, QStringLiteral("agent")}};
    r.guards.snapshots = 1;
    EXPECT_EQ(r.entry(QStringLiteral("AI Shield: 1 AI process")), nullptr) << "not before it opens";
    Q_EMIT r.controller.menu()->aboutToShow();
    EXPECT_NE(r.entry(QStringLiteral("AI Shield: 1 AI process")), nullptr);
    EXPECT_NE(r.entry(QStringLiteral("  \u2022 agent (pid 42)")), nullptr);
    EXPECT_NE(r.entry(QStringLiteral("Work Guard: 1 snapshot")), nullptr);
}

TEST(StatusItemController, WithoutACameraNeitherTheMenuNorTheIconSaysArmed)
{
    ControllerRig r;
    r.controller.install();
    r.rig.settings.setSnoozeGuardEnabled(true);
    r.guards.running = true;
    r.guards.noCamera = true;
    r.rig.publishSample(10, 20, 42);
    settle();
    EXPECT_EQ(r.controller.trayIcon()->toolTip(), QStringLiteral("Veltranmoor AI \u2014 42 \u25D0"));
    Q_EMIT r.controller.menu()->aboutToShow();
    EXPECT_NE(r.entry(QStringLiteral("Snooze Guard: Partial \u25D0")), nullptr);
    EXPECT_NE(r.entry(QStringLiteral("  Camera: none")), nullptr);
    EXPECT_NE(r.entry(QStringLiteral("  Accessibility: OK")), nullptr);
}

TEST(StatusItemController, MenuActions)
{
    ControllerRig r;
    // The HUD: created and shown, the flag stored; then hidden, the flag cleared.
    ASSERT_EQ(r.hud.panel(), nullptr);
    r.choose(QStringLiteral("Show Desktop HUD"));
    ASSERT_NE(r.hud.panel(), nullptr);
    EXPECT_TRUE(r.hud.isPanelVisible());
    EXPECT_EQ(r.rig.defaults.getBool(StatusItemController::hudShowOnLaunchKey), true);
    r.choose(QStringLiteral("Hide Desktop HUD"));
    EXPECT_FALSE(r.hud.isPanelVisible());
    EXPECT_EQ(r.rig.defaults.getBool(StatusItemController::hudShowOnLaunchKey), false);

    r.guards.running = true;
    r.choose(QStringLiteral("Recheck Permissions / Restart Watch"));
    r.choose(QStringLiteral("Snapshot Now"));
    r.choose(QStringLiteral("Test Alert"));
    EXPECT_EQ(r.guards.journal,
              (QStringList{"drowsiness.stop", "stuckKey.stop", "dismiss", "isRunning=0", "start", "workGuard.stop",
                           "workGuard.start", "alert 0 TEST \u2014 Snooze Guard is alive"}));

    r.choose(QStringLiteral("Show AI Shield Log in Files"));
    r.choose(QStringLiteral("Show Snapshots in Files"));
    r.choose(QStringLiteral("Open Dashboard"));
    r.choose(QStringLiteral("Quit Veltranmoor"));
    EXPECT_EQ(r.calls, (QStringList{"reveal /data/ai-shield.log", "open /data/Snapshots", "dashboard", "quit"}));

    r.choose(QStringLiteral("Open Recovery Browser\u2026"));
    QWidget* recovery = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QStringLiteral("Work Guard \u2014 Recovery") && w->isVisible()) recovery = w;
    ASSERT_NE(recovery, nullptr);
    EXPECT_EQ(recovery->size(), QSize(900, 560));
    recovery->close();
    r.choose(QStringLiteral("Open Recovery Browser\u2026"));
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QStringLiteral("Work Guard \u2014 Recovery")) ++windows;
    EXPECT_EQ(windows, 1) << "a closed recovery window is reused";
}

// The menu's AI Shield rows read the real process watch.
TEST(StatusItemController, AIShieldRowsShowTheRealProcessWatch)
{
    ShieldRig shield;
    ControllerRig r(&shield.shield);
    shield.inventory.add(77, QStringLiteral("claude"), QStringList{"claude", "sudo", "make"});
    shield.inventory.add(78, QStringLiteral("bash"), QStringList{"bash"});
    shield.poll();

    Q_EMIT r.controller.menu()->aboutToShow();
    QStringList texts;
    for (QAction* a : r.controller.menu()->actions()) texts << a->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("AI Shield: 1 AI process")));
    EXPECT_TRUE(texts.contains(QStringLiteral("  \u2022 claude (pid 77)")));
    EXPECT_EQ(texts.filter(QStringLiteral("  \u26A0 Suspicious sudo invocation by AI process \u2014 pid=77 name=claude")).size(), 1)
        << texts.join(QLatin1Char('\n')).toStdString();
    for (QAction* a : r.controller.menu()->actions()) {
        if (a->text() == QStringLiteral("Show AI Shield Log in Files")) a->trigger();
    }
    settle();
    EXPECT_EQ(r.calls, QStringList{QStringLiteral("reveal ") + shield.logPath});
}
