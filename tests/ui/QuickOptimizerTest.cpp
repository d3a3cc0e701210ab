// "Optimize Now": both actions through the real gate, measured around each, the delta written
// into each ledger entry.
#include "actions/ActionGate.h"
#include "actions/OutcomeHarness.h"
#include "core/UserDefaults.h"
#include "support/FakeMonitorState.h"
#include "support/InlineExecutor.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"
#include "ui/shell/QuickOptimizer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

struct Rig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("settings.json"))};
    ManualClock clock;
    ManualScheduler scheduler{clock};
    FakeMonitorState monitor;
    InlineExecutor worker;
    ActionGate gate{defaults, clock};
    OutcomeHarness harness{monitor, scheduler, clock};
    QStringList ran;
    QString cleanText = QStringLiteral("Nothing safe to clean right now.");
    QuickOptimizer optimizer{{
        .gate = gate,
        .harness = harness,
        .scheduler = scheduler,
        .worker = worker,
        .cleanCaches = [this] { ran << QStringLiteral("clean"); return cleanText; },
        .relieveMemory = [this] { ran << QStringLiteral("relief"); return QStringLiteral("Requested memory relief \u2014 inactive pages compressed."); },
    }};

    Rig()
    {
        monitor.snapshot.diskTotal = 500ULL << 30;
        monitor.snapshot.diskUsed = 400ULL << 30;
        monitor.snapshot.memoryPressure = 70;
    }
    static void settle()
    {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
};

}  // namespace

TEST(QuickOptimizer, RunsBothActionsThroughTheGateAndAttachesMeasuredDeltas)
{
    Rig rig;
    QStringList states;
    QObject::connect(&rig.optimizer, &QuickOptimizer::changed, [&] {
        states << (rig.optimizer.optimizing() ? QStringLiteral("busy") : QStringLiteral("idle"));
    });
    rig.optimizer.optimizeNow();
    EXPECT_TRUE(rig.optimizer.optimizing());
    EXPECT_FALSE(rig.optimizer.lastOutcome());
    rig.optimizer.optimizeNow();  // ignored while running
    rig.scheduler.advance(49ms);
    EXPECT_TRUE(rig.ran.isEmpty()) << "the actions wait 0.05 s";

    rig.scheduler.advance(1ms);
    Rig::settle();
    ASSERT_EQ(rig.ran, QStringList{QStringLiteral("clean")});
    ASSERT_EQ(rig.gate.ledger().size(), 1);
    EXPECT_FALSE(rig.gate.ledger().first().measuredDelta) << "measured only after the settle delay";

    // 2 GiB freed while the disk settles.
    rig.monitor.snapshot.diskUsed -= 2ULL << 30;
    rig.scheduler.advance(800ms);
    Rig::settle();
    ASSERT_EQ(rig.ran, (QStringList{QStringLiteral("clean"), QStringLiteral("relief")}));
    rig.monitor.snapshot.memoryPressure = 58;
    rig.scheduler.advance(1200ms);
    Rig::settle();

    EXPECT_FALSE(rig.optimizer.optimizing());
    EXPECT_EQ(states, (QStringList{QStringLiteral("busy"), QStringLiteral("idle")}));
    EXPECT_EQ(rig.optimizer.lastOutcome(),
              QStringLiteral("Nothing safe to clean right now. \u00B7 Requested memory relief \u2014 inactive pages compressed."));

    const QList<GateLedgerEntry>& ledger = rig.gate.ledger();
    ASSERT_EQ(ledger.size(), 2);
    EXPECT_EQ(ledger[0].title, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(ledger[1].title, QStringLiteral("Clean caches & junk"));
    ASSERT_TRUE(ledger[1].measuredDelta);
    EXPECT_NEAR(*ledger[1].measuredDelta, 2.0, 0.01);
    ASSERT_TRUE(ledger[0].measuredDelta);
    EXPECT_NEAR(*ledger[0].measuredDelta, 12.0, 0.01);
}

TEST(QuickOptimizer, ActionsCarryTheirIdentity)
{
    const TavrilonAction clean = QuickOptimizer::cleanAction({});
    const TavrilonAction relief = QuickOptimizer::reliefAction({});
    EXPECT_EQ(clean.risk, ActionRisk::reversible);
    EXPECT_EQ(clean.epitopeID, QStringLiteral("clean-caches"));
    EXPECT_EQ(clean.outcomeMetric, OutcomeMetric::diskFreedGB);
    EXPECT_EQ(relief.epitopeID, QStringLiteral("relieve-mem"));
    EXPECT_EQ(relief.outcomeMetric, OutcomeMetric::memPressureDrop);
    EXPECT_NE(QuickOptimizer::cleanAction({}).id, clean.id) << "every press builds new actions";
}
