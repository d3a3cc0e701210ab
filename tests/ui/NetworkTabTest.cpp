// The Network tab over the real monitor: published measurements and a /sys net fixture.
#include "DashboardRig.h"
#include "support/FixtureTree.h"
#include "ui/dashboard/NetworkTab.h"
#include "ui/dashboard/TextView.h"

#include <gtest/gtest.h>

#include <QDir>


using namespace dashboard_rig;
using namespace std::chrono_literals;

TEST(NetworkTabModel, ChartKeepsTheNewestSixtyAndTheConnectionLineFollowsTheCount)
{
    QList<NetworkSnapshot> history(300);
    for (int i = 0; i < 300; ++i) history[i].rateIn = i;
    const auto shown = NetworkTabModel::chartHistory(history);
    ASSERT_EQ(shown.size(), 60);
    EXPECT_EQ(shown.first().rateIn, 240);
    EXPECT_EQ(shown.last().rateIn, 299);
    EXPECT_EQ(NetworkTabModel::connectionsNote(0), QStringLiteral("No active TCP connections"));
    EXPECT_TRUE(NetworkTabModel::connectionsNote(12).startsWith(QStringLiteral("Per-process attribution")));
}

TEST(NetworkTabModel, ChartAxisTicksAreDistinctAndRound)
{
    const struct {
        double highest;
        bool bits;
        double top;
        QStringList labels;
    } rows[] = {
        {0, false, 1000, {"0 KB/s", "0.5 KB/s", "1 KB/s"}},
        {300, false, 1000, {"0 KB/s", "0.5 KB/s", "1 KB/s"}},
        {1500, false, 2000, {"0 KB/s", "1 KB/s", "2 KB/s"}},
        {80'000, false, 100'000, {"0 KB/s", "50 KB/s", "100 KB/s"}},
        {3'200'000, false, 5'000'000, {"0 MB/s", "2.5 MB/s", "5 MB/s"}},
        {1'000'000, false, 1'000'000, {"0 MB/s", "0.5 MB/s", "1 MB/s"}},
        {1'000'000, true, 1'250'000, {"0 Mbps", "5 Mbps", "10 Mbps"}},
        {7e12, false, 1e13, {"0 GB/s", "5000 GB/s", "10000 GB/s"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.highest);
        const NetworkTabModel::ChartAxis axis = NetworkTabModel::chartAxis(r.highest, r.bits);
        EXPECT_DOUBLE_EQ(axis.top, r.top);
        EXPECT_EQ(axis.labels, r.labels);
    }
}

TEST(NetworkTab, EmptyThenMeasuredStates)
{
    Rig rig;
    NetworkTab tab(rig.network, rig.settings, rig.themes);
    tab.resize(780, 700);
    tab.show();
    settle();
    // Before the first sample (the rig's reader finds no interface): zeros and placeholders.
    EXPECT_TRUE(tab.collectingNote()->isVisible());
    EXPECT_FALSE(tab.chart()->isVisible());
    EXPECT_EQ(tab.downloadRate()->text(), rig.settings.formatDataRate(0, true));
    EXPECT_EQ(tab.connectionCount()->text(), QStringLiteral("0"));
    EXPECT_EQ(tab.connectionLines(), QStringList{QStringLiteral("No active TCP connections")});
    ASSERT_TRUE(saveTabShot(tab, QStringLiteral("network-empty")));

    rig.network.publish(NetworkMonitor::Measurement{.bytesIn = 5'000'000, .bytesOut = 1'000'000, .rateIn = 1500,
                                                    .rateOut = 42000, .connections = 12, .timestamp = rig.clock.now()});
    rig.clock.advance(5s);
    rig.network.publish(NetworkMonitor::Measurement{.bytesIn = 5'100'000, .bytesOut = 1'200'000, .rateIn = 20000,
                                                    .rateOut = 40000, .connections = 12, .timestamp = rig.clock.now()});
    settle();
    EXPECT_FALSE(tab.collectingNote()->isVisible());
    EXPECT_TRUE(tab.chart()->isVisible());
    EXPECT_EQ(tab.downloadRate()->text(), rig.settings.formatDataRate(20000, true));
    EXPECT_EQ(tab.connectionCount()->text(), QStringLiteral("12"));
    ASSERT_EQ(tab.connectionLines().size(), 1);
    EXPECT_TRUE(tab.connectionLines().first().startsWith(QStringLiteral("Per-process attribution")));
    ASSERT_TRUE(saveTabShot(tab, QStringLiteral("network-measured")));
}

TEST(NetworkTab, NoCountedInterfaceShowsANoticeInsteadOfRates)
{
    Rig rig;
    // A machine with only loopback, a tunnel, a container bridge and its peer: none is counted.
    FixtureTree onlyVirtual(QStringLiteral("sys/net/desktop"));
    for (const char* name : {"eth0", "wlan0", "br0"}) QDir(onlyVirtual.path() + '/' + name).removeRecursively();
    SysfsNetStatsReader virtualOnly(onlyVirtual.path());
    SysfsNetStatsReader desktop(fixturePath(QStringLiteral("sys/net/desktop")));
    struct Case {
        const SysfsNetStatsReader& reader;
        bool notice;
        const char* shot;
    };
    for (const Case& c : {Case{virtualOnly, true, "network-no-interface"}, Case{desktop, false, nullptr}}) {
        NetworkMonitor monitor(c.reader, rig.tcp, rig.executor, rig.clock, rig.scheduler);
        NetworkTab tab(monitor, rig.settings, rig.themes);
        tab.resize(780, 700);
        tab.show();
        settle();
        // Nothing is known before the first measurement.
        EXPECT_FALSE(tab.noInterfaceNotice()->isVisible());
        monitor.sample();
        settle();
        EXPECT_EQ(monitor.noCountedInterface(), c.notice);
        EXPECT_EQ(tab.noInterfaceNotice()->isVisible(), c.notice);
        EXPECT_EQ(tab.ratesRow()->isVisible(), !c.notice);
        EXPECT_EQ(tab.collectingNote()->isVisible(), !c.notice);
        // The connections card stays: sockets are counted whatever the interfaces.
        EXPECT_EQ(tab.connectionCount()->text(), QStringLiteral("0"));
        if (c.shot) {
            ASSERT_TRUE(saveTabShot(tab, QString::fromLatin1(c.shot)));
        }
    }
}
