// The status menu's Work Guard rows and actions on the real engine: "Snapshot Now" sweeps,
// the rows show what it published, and the recovery browser is one window kept for the session.
#include "DashboardRig.h"

#include "core/Paths.h"
#include "guards/AIShieldStatus.h"
#include "guards/SnoozeGuardService.h"
#include "guards/SnoozeGuardStatus.h"
#include "guards/WorkGuard.h"
#include "support/StallWatch.h"
#include "ui/recovery/RecoveryView.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/StatusItemController.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QTest>

using namespace dashboard_rig;

namespace {

struct OtherGuards final : SnoozeGuardService, SnoozeGuardStatus, AIShieldStatus {
    void start() override {}
    void stopDrowsinessDetector() override {}
    void stopStuckKeyWatcher() override {}
    void setIsRunning(bool) override {}
    void dismissAlert() override {}
    bool isRunning() const override { return false; }
    bool cameraPermissionDenied() const override { return false; }
    bool accessibilityPermissionDenied() const override { return false; }
    bool cameraWatchRunning() const override { return false; }
    bool keyWatchRunning() const override { return false; }
    QString cameraFailure() const override { return {}; }
    void showAlert(const QString&, int) override {}
    QList<AIProcessInfo> processes() const override { return {}; }
    std::optional<QString> lastSuspiciousEvent() const override { return std::nullopt; }
    QString logPath() const override { return {}; }
};

TEST(WorkGuardMenu, RowsAndActionsDriveTheRealGuard)
{
    Rig rig;
    OtherGuards others;
    const QString notes = Paths::home() + QStringLiteral("/Documents/notes.md");
    QDir().mkpath(QFileInfo(notes).absolutePath());
    {
        QFile f(notes);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("meeting notes");
    }
    rig.clock.set(QDateTime::currentDateTimeUtc());
    WorkGuard guard({.clock = rig.clock, .scheduler = rig.scheduler});
    DesktopHUDController hud{DesktopHUDDeps{.defaults = rig.defaults}};
    QStringList opened;
    int viewsMade = 0;
    StatusItemController controller{StatusItemDeps{
        .perf = rig.monitor,
        .battery = rig.battery,
        .settings = rig.settings,
        .defaults = rig.defaults,
        .themes = rig.themes,
        .profiles = rig.profiles,
        .snoozeControl = others,
        .snooze = others,
        .aiShield = others,
        .workGuardState = guard,
        .workGuard = guard,
        .hud = hud,
        .clock = rig.clock,
        .makeReadout = [] { return new QLabel(QStringLiteral("readout")); },
        .openFolder = [&](const QString& p) { opened << p; },
        .makeRecoveryView =
            [&]() -> QWidget* {
                ++viewsMade;
                return new RecoveryView(
                    {.recovery = guard.recovery(), .clock = rig.clock, .themes = rig.themes, .revealFile = {}});
            },
    }};
    controller.install();
    const auto choose = [&](const QString& title) {
        Q_EMIT controller.menu()->aboutToShow();
        for (QAction* a : controller.menu()->actions()) {
            if (a->text() == title) {
                a->trigger();
                settle();
                return true;
            }
        }
        return false;
    };
    const auto rows = [&] {
        Q_EMIT controller.menu()->aboutToShow();
        QStringList out;
        for (QAction* a : controller.menu()->actions()) out << a->text();
        return out;
    };

    EXPECT_TRUE(rows().contains(QStringLiteral("Work Guard: 0 snapshots")));
    ASSERT_TRUE(choose(QStringLiteral("Snapshot Now")));
    for (int i = 0; i < 500 && !guard.lastTrigger(); ++i) QTest::qWait(5);
    ASSERT_EQ(guard.lastTrigger(), QStringLiteral("startup"));
    const QStringList after = rows();
    EXPECT_TRUE(after.contains(QStringLiteral("Work Guard: 1 snapshot")));
    EXPECT_TRUE(after.contains(QStringLiteral("  Last sweep: 0s ago (startup)")));
    EXPECT_TRUE(after.contains(QStringLiteral("  \u2022 notes.md  [score %1]")
                                   .arg(QString::asprintf("%.2f", guard.lastRanked().first().score))));

    ASSERT_TRUE(choose(QStringLiteral("Show Snapshots in Files")));
    EXPECT_EQ(opened, QStringList{guard.snapshotsRoot()});

    ASSERT_TRUE(choose(QStringLiteral("Open Recovery Browser\u2026")));
    RecoveryView* view = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* v = qobject_cast<RecoveryView*>(w)) view = v;
    }
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Work Guard \u2014 Recovery"));
    for (int i = 0; i < 500 && (view->isBusy() || view->entries().isEmpty()); ++i) QTest::qWait(5);
    ASSERT_EQ(view->entries().size(), 1);
    EXPECT_EQ(view->entries().first().originalPath, notes);
    view->close();
    ASSERT_TRUE(choose(QStringLiteral("Open Recovery Browser\u2026")));
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(viewsMade, 1);
    for (int i = 0; i < 500 && view->isBusy(); ++i) QTest::qWait(5);
    guard.stop();
    delete view;
    stall_watch::expectNoStall("the Work Guard menu");
}

}  // namespace
