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
#include "actions/OutcomeHarness.h"
#include "ui/shell/MenuReadoutView.h"
#include "ui/shell/QuickOptimizer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTest>

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
    // Its usual 900 x 560, cut to the screen where that is smaller.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(recovery->size(), QSize(900, 560).boundedTo(recovery->size()));
    EXPECT_TRUE(recovery->width() == 900 || recovery->frameGeometry().width() <= area.width());
    EXPECT_TRUE(area.contains(recovery->frameGeometry()));
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

TEST(StatusItemController, PopoverFitsBesideItsAnchorAndNeverCoversIt)
{
    const QRect screen(0, 0, 1366, 768);
    const struct {
        const char* what;
        QRect anchor;
        QSize wanted;
        QRect expected;
    } cases[] = {
        // A panel at the top: below the icon, cut to the room left and widened by the bar.
        {"top panel, short screen", QRect(1300, 0, 24, 24), QSize(340, 776), QRect(1014, 26, 352, 742)},
        // A panel at the bottom: above the icon.
        {"bottom panel", QRect(600, 744, 24, 24), QSize(340, 500), QRect(441, 242, 340, 500)},
        {"bottom panel, short screen", QRect(600, 744, 24, 24), QSize(340, 776), QRect(435, 0, 352, 742)},
        // Room enough: as tall as the readout, centred under the pointer, kept on the screen.
        {"pointer near the left edge", QRect(5, 100, 1, 1), QSize(340, 500), QRect(0, 103, 340, 500)},
    };
    for (const auto& c : cases) {
        const QRect placed = StatusItemController::popoverPlacement(c.anchor, screen, c.wanted, 12);
        EXPECT_EQ(placed, c.expected) << c.what;
        EXPECT_TRUE(screen.contains(placed)) << c.what;
        EXPECT_FALSE(placed.intersects(c.anchor)) << c.what;
    }
}

TEST(StatusItemController, PopoverGivesWayToTheWindowItsButtonsOpen)
{
    ControllerRig r;
    QuickOptimizer optimizer{{.gate = r.rig.gate,
                              .history = r.rig.monitor,
                              .scheduler = r.rig.scheduler,
                              .worker = r.rig.executor,
                              .cleanCaches = [] { return QString(); },
                              .relieveMemory = [] { return QString(); }}};
    QStringList opened;
    StatusItemController controller{StatusItemDeps{
        .perf = r.rig.monitor,
        .battery = r.rig.battery,
        .settings = r.rig.settings,
        .defaults = r.rig.defaults,
        .themes = r.rig.themes,
        .profiles = r.rig.profiles,
        .snoozeControl = r.guards,
        .snooze = r.guards,
        .aiShield = r.guards,
        .workGuardState = r.guards,
        .workGuard = r.workGuard,
        .hud = r.hud,
        .clock = r.rig.clock,
        .makeReadout =
            [&]() -> QWidget* {
                return new MenuReadoutView(MenuReadoutDeps{
                    .perf = r.rig.monitor,
                    .net = r.rig.network,
                    .gpu = nullptr,
                    .themes = r.rig.themes,
                    .profiles = r.rig.profiles,
                    .settings = r.rig.settings,
                    .optimizer = optimizer,
                    // The popover is already out of the way when the window comes up.
                    .openDashboard = [&] { opened << QStringLiteral("dashboard, popover shown: %1").arg(controller.isPopoverShown()); },
                    .openSettings = [&] { opened << QStringLiteral("settings, popover shown: %1").arg(controller.isPopoverShown()); },
                });
            },
    }};
    controller.install();
    auto* readout = controller.popover()->findChild<MenuReadoutView*>();
    ASSERT_NE(readout, nullptr);
    for (QWidget* button : {readout->dashboardButton(), readout->settingsButton()}) {
        controller.openPopover();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.popover()));
        // The popover's content scrolls inside the screen.
        EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(controller.popover()->geometry()));
        button->ensurePolished();
        QMetaObject::invokeMethod(button, "click");
        settle();
        EXPECT_FALSE(controller.isPopoverShown());
    }
    EXPECT_EQ(opened, (QStringList{"dashboard, popover shown: 0", "settings, popover shown: 0"}));
}
