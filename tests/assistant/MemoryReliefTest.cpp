#include "actions/ActionGate.h"
#include "actions/EpitopeLibrary.h"
#include "actions/MemoryReliefAction.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"
#include "assistant/MemoryRelief.h"
#include "core/UserDefaults.h"
#include "support/FakeMonitorState.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

const QString kOutcome = QStringLiteral("Requested memory relief \u2014 this application's unused memory returned to the system.");

struct Rig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path() + "/settings.json"};
    ManualClock clock;
    ManualScheduler scheduler{clock};
    FakeMonitorState monitor;
    ActionGate gate{defaults, clock};
    EpitopeLibrary library{clock, dir.path() + "/AI"};
    ReversibleShell shell{gate, scheduler};
    OutcomeHarness harness{monitor, scheduler, clock};
    int reliefs = 0;
    MemoryReliefAction relief{harness, gate, shell, library, [this] {
                                  ++reliefs;
                                  return performMemoryRelief();
                              }};

    // The sampler publishes a new memory pressure halfway through the settle delay.
    void publishPressureLater(double before, double after)
    {
        monitor.snapshot.memoryPressure = before;
        scheduler.after(600ms, nullptr, [this, after] { monitor.snapshot.memoryPressure = after; });
    }
};

}  // namespace

TEST(MemoryRelief, TheReliefTextAndTheAction)
{
    EXPECT_EQ(performMemoryRelief(), kOutcome);
    const TavrilonAction a = MemoryReliefAction::makeAction(&performMemoryRelief);
    EXPECT_EQ(a.title, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(a.detail, QStringLiteral("Returns this application's unused memory to the system. Sandbox-safe."));
    EXPECT_EQ(a.risk, ActionRisk::reversible);
    EXPECT_TRUE(a.concerns.isEmpty());
    EXPECT_TRUE(a.saferAlternatives.isEmpty());
    EXPECT_FALSE(a.hasUndo());
    EXPECT_EQ(a.epitopeID, QStringLiteral("relieve-mem"));
    EXPECT_EQ(a.outcomeMetric, OutcomeMetric::memPressureDrop);
    EXPECT_NE(a.id, MemoryReliefAction::makeAction(&performMemoryRelief).id);
}

TEST(MemoryRelief, OneRunLeavesAMeasuredLedgerEntryALearnedKindAndAFiveSecondRevert)
{
    Rig rig;
    rig.publishPressureLater(62, 54);
    rig.relief.run();
    EXPECT_EQ(rig.reliefs, 1);
    ASSERT_EQ(rig.gate.ledger().size(), 1);
    const QUuid entry = rig.gate.ledger().first().id;
    EXPECT_EQ(rig.gate.ledger().first().title, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(rig.gate.ledger().first().outcome, kOutcome);
    EXPECT_EQ(rig.gate.ledger().first().risk, ActionRisk::reversible);
    EXPECT_FALSE(rig.gate.ledger().first().metricLabel.has_value());
    EXPECT_FALSE(rig.shell.hasPendingRevert());

    // An action recorded during the settle delay does not receive the relief's measurement.
    TavrilonAction other;
    other.title = QStringLiteral("Something else");
    other.perform = [] { return QStringLiteral("ok"); };
    rig.scheduler.advance(1s);
    rig.shell.runGuardedAction(other);

    rig.scheduler.advance(200ms);
    ASSERT_EQ(rig.gate.ledger().size(), 2);
    const GateLedgerEntry& measured = rig.gate.ledger()[1];
    EXPECT_EQ(measured.id, entry);
    EXPECT_EQ(measured.measuredDelta, 8.0);
    EXPECT_EQ(measured.metricLabel, QStringLiteral("+8 pts (memPressureDrop)"));
    EXPECT_FALSE(rig.gate.ledger()[0].metricLabel.has_value());

    const Epitope e = *rig.library.epitope(QStringLiteral("relieve-mem"));
    EXPECT_EQ(e.displayName, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(e.outcomes, QList<bool>{true});  // 8 points is the threshold
    EXPECT_DOUBLE_EQ(e.successRate, 0.65);
    ASSERT_TRUE(rig.library.heroDelta().has_value());
    EXPECT_TRUE(QFile::exists(rig.dir.path() + "/AI/epitopes.json"));

    // Reverting within the window changes nothing: the relief has no undo.
    ASSERT_TRUE(rig.shell.hasPendingRevert());
    rig.scheduler.advance(4999ms);
    ASSERT_TRUE(rig.shell.hasPendingRevert());
    EXPECT_TRUE(rig.shell.revertPending());
    EXPECT_EQ(rig.reliefs, 1);
    EXPECT_EQ(rig.gate.ledger().size(), 2);

    // A second run: its window closes by itself 5 s after the measurement.
    rig.publishPressureLater(54, 46.1);
    rig.relief.run();
    rig.scheduler.advance(1200ms);
    EXPECT_EQ(rig.gate.ledger().first().metricLabel, QStringLiteral("+8 pts (memPressureDrop)"));  // 7.9 shows as 8
    EXPECT_EQ(rig.library.epitope(QStringLiteral("relieve-mem"))->outcomes, (QList<bool>{true, false}));
    EXPECT_FALSE(rig.library.heroDelta().has_value());
    rig.scheduler.advance(4999ms);
    EXPECT_TRUE(rig.shell.hasPendingRevert());
    rig.scheduler.advance(1ms);
    EXPECT_FALSE(rig.shell.hasPendingRevert());
}
