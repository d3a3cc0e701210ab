// The popover readout: its figures, and its controls acting on the shared managers.
#include "DashboardRig.h"

#include "actions/OutcomeHarness.h"
#include "support/FixtureTree.h"
#include "ui/shell/MenuReadout.h"
#include "ui/shell/MenuReadoutView.h"
#include "ui/shell/QuickOptimizer.h"
#include "ui/theme/TavrilonHeroButton.h"
#include "ui/theme/TavrilonModePicker.h"
#include "ui/theme/TavrilonSwitchRow.h"
#include "ui/theme/TavrilonToggle.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

using namespace dashboard_rig;
using namespace MenuReadout;
using namespace std::chrono_literals;

TEST(MenuReadout, Figures)
{
    const PaletteTheme& t = PaletteTheme::ember();
    for (auto [value, color] : std::initializer_list<std::pair<double, QColor>>{
             {0, t.success}, {59.9, t.success}, {60, t.warning}, {84.9, t.warning}, {85, t.danger}, {200, t.danger},
             {std::nan(""), t.danger}})
        EXPECT_EQ(loadColor(value, t), color) << value;

    EXPECT_EQ(cpuListCount(QStringLiteral("0-11\n")), 12);
    EXPECT_EQ(cpuListCount(QStringLiteral("0-3,8,10-11")), 7);
    EXPECT_EQ(cpuListCount(QStringLiteral("3-1")), 0);
    EXPECT_EQ(cpuListCount(QStringLiteral("x")), 0);
    EXPECT_EQ(coreText({8, 4, 20}), QStringLiteral("8P + 4E"));
    EXPECT_EQ(coreText({8, 0, 16}), QStringLiteral("16 cores"));
    EXPECT_EQ(coreText({0, 0, 1}), QStringLiteral("1 cores"));

    PerformanceSnapshot s;
    s.diskTotal = 100ULL << 30;
    s.diskUsed = 75ULL << 30;
    EXPECT_DOUBLE_EQ(diskFigures(s).freeGiB, 25);
    EXPECT_DOUBLE_EQ(diskFigures(s).usedPercent, 75);
    s.diskTotal = 0;
    s.diskUsed = 0;
    EXPECT_EQ(diskFigures(s).usedPercent, 0);
    s.diskTotal = 1;
    s.diskUsed = 5;  // never produced; must not wrap around
    EXPECT_EQ(diskFigures(s).freeGiB, 0);
    EXPECT_EQ(diskColor(19.9, t), t.danger);
    EXPECT_EQ(diskColor(20, t), t.warning);
    EXPECT_EQ(diskColor(50, t), t.success);
    EXPECT_EQ(barFraction(1.5), 1);
    EXPECT_EQ(barFraction(0), 0.01);
    EXPECT_EQ(barFraction(0.4), 0.4);

    EXPECT_EQ(connectionLine(0), QStringLiteral("0 active connections"));
    EXPECT_EQ(connectionLine(1), QStringLiteral("1 active connection"));
    EXPECT_EQ(connectionLine(2), QStringLiteral("2 active connections"));

    QList<ProcessInfoItem> seven;
    for (int i = 0; i < 7; ++i) {
        ProcessInfoItem p;
        p.pid = i;
        p.cpuUsage = (i * 37) % 11;
        seven << p;
    }
    const QList<ProcessInfoItem> top = topRows(seven);
    ASSERT_EQ(top.size(), 5);
    for (int i = 1; i < 5; ++i) EXPECT_GE(top[i - 1].cpuUsage, top[i].cpuUsage);
    EXPECT_EQ(top[0].cpuUsage, 9);
}

TEST(MenuReadout, HybridCoreCountsFromSysfs)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("devices/cpu_core"));
    QDir(root.path()).mkpath(QStringLiteral("devices/cpu_atom"));
    auto write = [&](const char* path, const char* text) {
        QFile f(root.filePath(QString::fromLatin1(path)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("devices/cpu_core/cpus", "0-11\n");
    write("devices/cpu_atom/cpus", "12-19\n");
    const CoreCounts hybrid = readCoreCounts(root.path());
    EXPECT_EQ(coreText(hybrid), QStringLiteral("12P + 8E"));
    const CoreCounts plain = readCoreCounts(root.filePath(QStringLiteral("none")));
    EXPECT_EQ(plain.performance, 0);
    EXPECT_GE(plain.logical, 1);
    EXPECT_EQ(coreText(plain), QString::number(plain.logical) + QStringLiteral(" cores"));
}

namespace {

struct ReadoutRig {
    Rig rig;
    QStringList calls;
    QuickOptimizer optimizer{{.gate = rig.gate,
                              .history = rig.monitor,
                              .scheduler = rig.scheduler,
                              .worker = rig.executor,
                              .cleanCaches = [this] { calls << "clean"; return QStringLiteral("Nothing safe to clean right now."); },
                              .relieveMemory = [this] { calls << "relief"; return QStringLiteral("Requested memory relief \u2014 inactive pages compressed."); }}};
    MenuReadoutView view{MenuReadoutDeps{.perf = rig.monitor,
                                         .net = rig.network,
                                         .gpu = nullptr,
                                         .themes = rig.themes,
                                         .profiles = rig.profiles,
                                         .settings = rig.settings,
                                         .optimizer = optimizer,
                                         .openDashboard = [this] { calls << "dashboard"; },
                                         .openSettings = [this] { calls << "settings"; }}};
};

}  // namespace

TEST(MenuReadoutView, ProcessesAndIdleLine)
{
    ReadoutRig r;
    EXPECT_TRUE(r.view.readoutText().contains(QStringLiteral("Idle \u2014 nothing notable.")));
    const int idleHeight = r.view.sizeHint().height();
    PerformanceSnapshot s;
    for (int i = 0; i < 7; ++i) {
        ProcessInfoItem p;
        p.pid = i;
        p.name = QStringLiteral("proc%1").arg(i);
        p.cpuUsage = i;
        s.topProcesses << p;
    }
    r.rig.monitor.setCurrentSnapshot(s);
    settle();
    const QStringList lines = r.view.readoutText().split(QLatin1Char('\n'));
    EXPECT_FALSE(lines.contains(QStringLiteral("Idle \u2014 nothing notable.")));
    EXPECT_EQ(lines.filter(QStringLiteral("proc")), (QStringList{"proc6", "proc5", "proc4", "proc3", "proc2"}));
    EXPECT_GT(r.view.sizeHint().height(), idleHeight) << "five rows take more room than the idle line";
}

TEST(MenuReadoutView, ControlsActThroughTheManagers)
{
    ReadoutRig r;
    r.view.show();
    settle();

    // The mode picker asks the profile manager; the heading follows what it publishes.
    QSignalSpy switched(&r.rig.profiles, &PerformanceProfileManager::activeProfileChanged);
    Q_EMIT r.view.modePicker()->selectionChanged(PerformanceMode::gaming);
    EXPECT_EQ(switched.count(), 1);
    EXPECT_EQ(r.rig.profiles.activeProfile(), PerformanceMode::gaming);
    EXPECT_EQ(r.view.modePicker()->selection(), PerformanceMode::gaming);

    // The three switches write their settings.
    ASSERT_EQ(r.view.switchRows().size(), 3);
    const bool autoPilot = r.rig.settings.autoPilotEnabled();
    r.view.switchRows()[0]->toggle()->click();
    EXPECT_EQ(r.rig.settings.autoPilotEnabled(), !autoPilot);
    r.view.switchRows()[1]->toggle()->click();
    EXPECT_TRUE(r.rig.profiles.autoSwitchEnabled());
    const bool watcher = r.rig.settings.tavrilonWatcherEnabled();
    r.view.switchRows()[2]->toggle()->click();
    EXPECT_EQ(r.rig.settings.tavrilonWatcherEnabled(), !watcher);
    r.rig.settings.setTavrilonWatcherEnabled(watcher);
    settle();
    EXPECT_EQ(r.view.switchRows()[2]->isOn(), watcher) << "a change elsewhere shows";

    QTest::mouseClick(static_cast<QWidget*>(r.view.dashboardButton()), Qt::LeftButton);
    QTest::mouseClick(static_cast<QWidget*>(r.view.settingsButton()), Qt::LeftButton);
    EXPECT_EQ(r.calls, (QStringList{"dashboard", "settings"}));
}

TEST(MenuReadoutView, OptimizeNowShowsBusyThenTheJoinedOutcome)
{
    ReadoutRig r;
    EXPECT_EQ(r.view.resultLine()->text(), QStringLiteral("Reversible \u2014 never deletes your files."));
    r.view.optimizeButton()->click();
    EXPECT_EQ(r.view.optimizeButton()->title(), QStringLiteral("Optimizing\u2026"));
    EXPECT_EQ(r.view.optimizeButton()->subtitle(), QStringLiteral("Working"));
    EXPECT_TRUE(r.view.optimizeButton()->isBusy());
    EXPECT_EQ(r.view.resultLine()->text(), QStringLiteral("Reversible \u2014 never deletes your files."));
    // Unmeasured: done 0.05 s after the press, with no settle delay.
    r.rig.scheduler.advance(50ms);
    settle();
    EXPECT_EQ(r.calls, (QStringList{"clean", "relief"}));
    EXPECT_FALSE(r.view.optimizeButton()->isBusy());
    EXPECT_EQ(r.view.optimizeButton()->title(), QStringLiteral("Optimize Now"));
    EXPECT_EQ(r.view.resultLine()->text(),
              QStringLiteral("Nothing safe to clean right now. \u00B7 Requested memory relief \u2014 inactive pages compressed."));
    ASSERT_EQ(r.rig.gate.ledger().size(), 2);
    for (const GateLedgerEntry& e : r.rig.gate.ledger()) EXPECT_FALSE(e.metricLabel) << e.title.toStdString();
    // What it did is in History beside the automatic actions; the cleanup found nothing, so
    // only the relief is there.
    ASSERT_EQ(r.rig.monitor.actionHistory().size(), 1);
    EXPECT_EQ(r.rig.monitor.actionHistory().first().action, ActionType::memoryFreed);
    EXPECT_FALSE(r.rig.monitor.actionHistory().first().wasAutomatic);
}
