// The Battery tab over /sys power-supply fixtures read by the real monitor.
#include "DashboardRig.h"
#include "support/FixtureTree.h"
#include "ui/dashboard/BatteryTab.h"
#include "ui/dashboard/BatteryTabModel.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace dashboard_rig;
using namespace std::chrono_literals;

namespace {

struct Battery {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    InlineExecutor executor;
    SysfsPowerSupplyReader reader;
    BatteryMonitor monitor{reader, executor, clock, scheduler};
    explicit Battery(const QString& fixture) : reader(fixturePath(QStringLiteral("sys/power_supply/") + fixture))
    {
        monitor.refresh();
        QCoreApplication::processEvents();
    }
};

}  // namespace

TEST(BatteryTabModel, TheWordFollowsChargingAndThePowerSource)
{
    struct Case {
        bool charging;
        const char* source;
        const char* word;
        bool green;
    };
    for (const Case& c : {Case{true, "AC Power", "Charging", true}, Case{false, "AC Power", "Plugged In", true},
                          Case{false, "Battery", "On Battery", false}, Case{false, "Unknown", "On Battery", false}}) {
        BatteryInfo info;
        info.isCharging = c.charging;
        info.powerSource = QString::fromLatin1(c.source);
        EXPECT_EQ(BatteryTabModel::ringWord(info).text, QString::fromLatin1(c.word)) << c.source;
        EXPECT_EQ(BatteryTabModel::ringWord(info).green, c.green) << c.source;
    }
    QList<BatteryDataPoint> history(250);
    for (int i = 0; i < 250; ++i) history[i].level = i;
    const auto shown = BatteryTabModel::chartHistory(history);
    ASSERT_EQ(shown.size(), 100);
    EXPECT_EQ(shown.first().level, 150);
    EXPECT_EQ(shown.last().level, 249);
    EXPECT_EQ(BatteryTabModel::chartHistory(history.mid(0, 1)).size(), 1);
}

TEST(BatteryTab, ShowsTheReadingOrTheNoBatteryNotice)
{
    Rig rig;
    {
        Battery none(QStringLiteral("no-battery"));
        BatteryTab tab(none.monitor, rig.themes);
        tab.resize(780, 600);
        tab.show();
        settle();
        EXPECT_TRUE(tab.placeholder()->isVisible());
        EXPECT_FALSE(tab.statusCard()->isVisible());
        EXPECT_FALSE(tab.historyCard()->isVisible());
        ASSERT_TRUE(saveTabShot(tab, QStringLiteral("battery-none")));
    }

    Battery discharging(QStringLiteral("discharging"));
    BatteryTab tab(discharging.monitor, rig.themes);
    tab.resize(780, 600);
    tab.show();
    settle();
    EXPECT_FALSE(tab.placeholder()->isVisible());
    EXPECT_TRUE(tab.statusCard()->isVisible());
    EXPECT_FALSE(tab.historyCard()->isVisible());  // one point so far
    EXPECT_EQ(tab.ringText(), QStringLiteral("82%"));
    EXPECT_EQ(tab.ringWord(), QStringLiteral("On Battery"));
    const auto rows = tab.shownRows();
    QStringList labels;
    for (const auto& r : rows) labels << r.first;
    EXPECT_EQ(labels, (QStringList{"Time Remaining", "Power Source", "Battery Health", "Cycle Count", "Temperature",
                                   "Voltage"}));
    EXPECT_EQ(rows, BatteryTabModel::detailRows(discharging.monitor));
    EXPECT_EQ(rows[1].second, QStringLiteral("Battery"));
    EXPECT_TRUE(rows[5].second.endsWith(QStringLiteral(" V")));

    // A second reading brings the chart.
    discharging.clock.advance(30s);
    discharging.monitor.refresh();
    settle();
    EXPECT_TRUE(tab.historyCard()->isVisible());
    ASSERT_TRUE(saveTabShot(tab, QStringLiteral("battery-discharging")));

    Battery charging(QStringLiteral("charging"));
    BatteryTab chargingTab(charging.monitor, rig.themes);
    chargingTab.resize(780, 600);
    chargingTab.show();
    settle();
    EXPECT_EQ(chargingTab.ringText(), QStringLiteral("57%"));
    EXPECT_EQ(chargingTab.ringWord(), QStringLiteral("Charging"));
    ASSERT_TRUE(saveTabShot(chargingTab, QStringLiteral("battery-charging")));
}
