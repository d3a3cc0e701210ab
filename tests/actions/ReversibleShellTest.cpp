#include "actions/ActionGate.h"
#include "actions/ReversibleShell.h"
#include "core/UserDefaults.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

struct Rig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path() + "/settings.json"};
    ManualClock clock;
    ManualScheduler scheduler{clock};
    std::unique_ptr<ActionGate> gate = std::make_unique<ActionGate>(defaults, clock);
    std::unique_ptr<ReversibleShell> shell = std::make_unique<ReversibleShell>(*gate, scheduler);

    void armYolo()
    {
        ActionGate::recordActiveModel(defaults, QStringLiteral("Frontier"), true);
        ASSERT_EQ(gate->arm(QStringLiteral("527139"), 3), ArmResult::armed());
    }
};

TavrilonAction counting(ActionRisk risk, int& runs)
{
    TavrilonAction a;
    a.title = QStringLiteral("Quit Xcode");
    a.risk = risk;
    a.perform = [&runs] {
        ++runs;
        return QStringLiteral("Ran it.");
    };
    return a;
}

}  // namespace

TEST(ReversibleShell, RunsOnlyWhatTheGateAllowsWithoutAsking)
{
    struct Row {
        ActionRisk risk;
        bool yolo;
        bool runs;
        int warnings;
    };
    const Row rows[] = {
        {ActionRisk::safe, false, true, 0},
        {ActionRisk::reversible, false, true, 0},
        {ActionRisk::destructive, false, false, 1},
        {ActionRisk::destructive, true, false, 0},  // never under YOLO, and nothing counted
    };
    for (const Row& row : rows) {
        Rig rig;
        if (row.yolo) rig.armYolo();
        int runs = 0;
        const TavrilonAction action = counting(row.risk, runs);
        const auto entry = rig.shell->runGuardedAction(action);
        EXPECT_EQ(runs, row.runs ? 1 : 0);
        EXPECT_EQ(rig.gate->ledger().size(), row.runs ? 1 : 0);
        EXPECT_EQ(entry.has_value(), row.runs);
        if (row.runs) {
            EXPECT_EQ(*entry, rig.gate->ledger().first().id);
            EXPECT_EQ(rig.gate->ledger().first().outcome, QStringLiteral("Ran it."));
            EXPECT_FALSE(rig.gate->ledger().first().undone);
        }
        EXPECT_EQ(rig.gate->destructiveWarnings().value(action.title), row.warnings);
    }

    Rig rig;
    int runs = 0;
    const TavrilonAction destructive = counting(ActionRisk::destructive, runs);
    rig.shell->runGuardedAction(destructive);
    rig.shell->runGuardedAction(destructive);
    EXPECT_EQ(rig.gate->evaluate(destructive).kind(), GateDecision::Kind::blockedNeedsYolo);
    rig.shell->runGuardedAction(destructive);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(rig.gate->destructiveWarnings().value(destructive.title), 3);
}

TEST(ReversibleShell, RevertRunsTheUndoWhenThereIsOne)
{
    int runs = 0, undos = 0;
    TavrilonAction action = counting(ActionRisk::reversible, runs);
    ReversibleShell::revert(action);  // no undo: nothing
    action.undo = [&undos] { ++undos; };
    ReversibleShell::revert(action);
    EXPECT_EQ(undos, 1);
    EXPECT_EQ(runs, 0);
}

TEST(ReversibleShell, PendingRevertLastsFiveSecondsAndANewerOneReplacesIt)
{
    Rig rig;
    int first = 0, second = 0;
    EXPECT_FALSE(rig.shell->hasPendingRevert());
    EXPECT_FALSE(rig.shell->revertPending());

    rig.shell->armPendingRevert([&first] { ++first; });
    rig.scheduler.advance(3s);
    rig.shell->armPendingRevert([&second] { ++second; });
    EXPECT_EQ(rig.scheduler.pendingCount(), 1);  // the first timer was stopped
    rig.scheduler.advance(4999ms);               // 2 s past the first window
    ASSERT_TRUE(rig.shell->hasPendingRevert());
    rig.scheduler.advance(1ms);
    EXPECT_FALSE(rig.shell->hasPendingRevert());
    EXPECT_EQ(first + second, 0);  // expiry never runs the undo

    rig.shell->armPendingRevert([&second] { ++second; });
    EXPECT_TRUE(rig.shell->revertPending());
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(rig.shell->hasPendingRevert());
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);
    EXPECT_FALSE(rig.shell->revertPending());
    EXPECT_EQ(second, 1);

    // A released shell's timer finds nothing to clear.
    rig.shell->armPendingRevert([&first] { ++first; });
    rig.shell.reset();
    rig.scheduler.advance(10s);
    EXPECT_EQ(first, 0);
}
