#include "monitoring/NetworkMonitor.h"

#include "platform/linux/ProcTcpTableReader.h"
#include "platform/linux/SysfsNetStatsReader.h"
#include "support/FixtureTree.h"
#include "support/InlineExecutor.h"
#include "support/ManualScheduler.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct Rig {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    InlineExecutor inline_;
    FixtureTree tree{QStringLiteral("sys/net/desktop")};
    SysfsNetStatsReader counters{tree.path()};
    ProcTcpTableReader tcp;
    NetworkMonitor monitor;

    explicit Rig(const QString& procFixture, const QString& tool = QStringLiteral("/nonexistent/ss"))
        : tcp(fixturePath(procFixture), tool), monitor(counters, tcp, inline_, clock, scheduler)
    {
    }

    void tick()
    {
        scheduler.advance(5s);
        QCoreApplication::processEvents();
    }
    void setEth0(uint64_t in, uint64_t out)
    {
        tree.write("eth0/statistics/rx_bytes", QByteArray::number(in) + '\n');
        tree.write("eth0/statistics/tx_bytes", QByteArray::number(out) + '\n');
    }
};

}  // namespace

TEST(NetworkMonitor, ratesAcrossSamplesOfChangingCountersAndACounterReset)
{
    Rig rig(QStringLiteral("proc/net/workstation"));
    rig.setEth0(1'000'000, 500'000);
    rig.monitor.startMonitoring();
    ASSERT_TRUE(rig.monitor.isMonitoring());
    EXPECT_TRUE(rig.monitor.networkHistory().isEmpty());  // the start only stores a baseline

    rig.setEth0(1'000'000 + 5 * 2048, 500'000 + 5 * 512);
    rig.tick();
    EXPECT_DOUBLE_EQ(rig.monitor.currentRateIn(), 2048);
    EXPECT_DOUBLE_EQ(rig.monitor.currentRateOut(), 512);
    EXPECT_EQ(rig.monitor.activeConnectionCount(), 5);
    const uint64_t others = 52318877 + 1000;  // wlan0 + br0
    EXPECT_EQ(rig.monitor.totalBytesIn(), 1'000'000 + 5 * 2048 + others);

    // The interface restarted: its counter starts again near zero.
    rig.setEth0(4096, 100);
    rig.tick();
    EXPECT_EQ(rig.monitor.currentRateIn(), 0);
    EXPECT_EQ(rig.monitor.currentRateOut(), 0);

    rig.setEth0(4096 + 5000, 100 + 10);
    rig.tick();
    EXPECT_DOUBLE_EQ(rig.monitor.currentRateIn(), 1000);
    EXPECT_DOUBLE_EQ(rig.monitor.currentRateOut(), 2);

    const QList<NetworkSnapshot>& history = rig.monitor.networkHistory();
    ASSERT_EQ(history.size(), 3);
    EXPECT_DOUBLE_EQ(history[0].rateIn, 2048);
    EXPECT_EQ(history[1].rateIn, 0);
    EXPECT_EQ(history[2].bytesIn, 4096 + 5000 + others);
    EXPECT_EQ(history[2].timestamp, rig.clock.now());
    EXPECT_TRUE(rig.monitor.topNetworkProcesses().isEmpty());

    // Stopping keeps the baseline; a second start does not reset a running monitor.
    rig.monitor.stopMonitoring();
    EXPECT_FALSE(rig.monitor.isMonitoring());
    rig.tick();
    EXPECT_EQ(rig.monitor.networkHistory().size(), 3);
    EXPECT_EQ(rig.monitor.previous().bytesIn, 4096 + 5000 + others);
}

TEST(NetworkMonitor, measurementWithoutAStoredTimeDividesByTheInterval)
{
    Rig rig(QStringLiteral("proc/net/workstation"));
    NetworkMonitor::Previous previous;
    previous.bytesIn = rig.counters.readInterfaceCounters().bytesIn - 1000;
    const auto m = NetworkMonitor::measure(rig.counters, rig.tcp, previous, rig.clock.now());
    EXPECT_DOUBLE_EQ(m.rateIn, 200);
    // The same time twice: no elapsed time, no rate.
    previous.timestamp = rig.clock.now();
    EXPECT_EQ(NetworkMonitor::measure(rig.counters, rig.tcp, previous, rig.clock.now()).rateIn, 0);
}

TEST(NetworkMonitor, historyKeepsTheLast300Points)
{
    Rig rig(QStringLiteral("proc/net/workstation"));
    rig.monitor.startMonitoring();
    for (int i = 0; i < 305; ++i) rig.tick();
    const QList<NetworkSnapshot>& history = rig.monitor.networkHistory();
    ASSERT_EQ(history.size(), 300);
    EXPECT_EQ(history.last().timestamp, rig.clock.now());
    EXPECT_EQ(history.first().timestamp, rig.clock.now().addSecs(-299 * 5));
}

TEST(NetworkMonitor, toolStandsInOnlyForTablesThatCannotBeRead)
{
    QTemporaryDir bin;
    const QString tool = bin.path() + "/ss";
    const QString calls = bin.path() + "/calls";
    QFile script(tool);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho call >> '%1'\n"
                                "printf '0 0 192.168.1.20:51234 140.82.112.25:443\\n0 0 [::1]:631 [::1]:40112\\n\\n'\n")
                     .arg(calls)
                     .toUtf8());
    script.close();
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    struct Case {
        const char* procFixture;
        int64_t connections;
        int toolRuns;
    };
    // Tables that read zero are an answer: no child process. No tables at all: the tool, every sample.
    for (const Case& c : {Case{"proc/net/empty", 0, 0}, Case{"proc/net/no-such-root", 2, 2}}) {
        QFile::remove(calls);
        Rig rig(QString::fromLatin1(c.procFixture), tool);
        rig.monitor.startMonitoring();
        rig.tick();
        rig.tick();
        EXPECT_EQ(rig.monitor.activeConnectionCount(), c.connections) << c.procFixture;
        QFile log(calls);
        const int runs = log.open(QIODevice::ReadOnly) ? int(log.readAll().count("call")) : 0;
        EXPECT_EQ(runs, c.toolRuns) << c.procFixture;
    }
}
