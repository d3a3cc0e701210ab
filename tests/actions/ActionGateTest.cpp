#include "actions/ActionGate.h"
#include "core/UserDefaults.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <set>

namespace {

const QString kReason = QStringLiteral(
    "This is an irreversible action and YOLO mode is off. You have already been warned twice. Arm YOLO "
    "(password-locked, frontier-only) to allow irreversible actions.");

TavrilonAction makeAction(ActionRisk risk, QString title = QStringLiteral("Quit Xcode"))
{
    TavrilonAction a;
    a.title = std::move(title);
    a.detail = QStringLiteral("Force-quits it.");
    a.risk = risk;
    a.concerns = {QStringLiteral("Unsaved work is lost")};
    a.saferAlternatives = {QStringLiteral("Quit it normally")};
    a.perform = [] { return QStringLiteral("done"); };
    a.undo = [] {};
    return a;
}

struct Store {
    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults = std::make_unique<UserDefaults>(dir.path() + "/settings.json");
    ManualClock clock;
};

}  // namespace

TEST(ActionRisk, RawValuesOrderAndDecoding)
{
    EXPECT_LT(ActionRisk::safe, ActionRisk::reversible);
    EXPECT_LT(ActionRisk::reversible, ActionRisk::destructive);
    for (int raw : {0, 1, 2}) EXPECT_EQ(rawValue(*actionRiskFromRaw(raw)), raw);
    for (qint64 raw : {-1, 3, 42}) EXPECT_FALSE(actionRiskFromRaw(raw).has_value()) << raw;
}

TEST(ActionGate, DecisionTable)
{
    enum Yolo { off, armedFrontier, armedFrontierLost };
    struct Row {
        ActionRisk risk;
        Yolo yolo;
        int warnings;
        GateDecision expected;
    };
    const QStringList concerns{QStringLiteral("Unsaved work is lost")};
    const QStringList safer{QStringLiteral("Quit it normally")};
    const Row rows[] = {
        {ActionRisk::safe, off, 0, GateDecision::allowFree()},
        {ActionRisk::safe, off, 5, GateDecision::allowFree()},
        {ActionRisk::safe, armedFrontier, 0, GateDecision::allowFree()},
        {ActionRisk::reversible, off, 0, GateDecision::allowWithUndo()},
        {ActionRisk::reversible, off, 5, GateDecision::allowWithUndo()},
        {ActionRisk::reversible, armedFrontier, 2, GateDecision::allowWithUndo()},
        {ActionRisk::destructive, off, 0, GateDecision::warnFirst(concerns, safer)},
        {ActionRisk::destructive, off, 1, GateDecision::warnFinal(concerns, safer)},
        {ActionRisk::destructive, off, 2, GateDecision::blockedNeedsYolo(kReason)},
        {ActionRisk::destructive, off, 7, GateDecision::blockedNeedsYolo(kReason)},
        {ActionRisk::destructive, armedFrontier, 0, GateDecision::allowYolo(concerns)},
        {ActionRisk::destructive, armedFrontier, 4, GateDecision::allowYolo(concerns)},
        {ActionRisk::destructive, armedFrontierLost, 0, GateDecision::warnFirst(concerns, safer)},
        {ActionRisk::destructive, armedFrontierLost, 1, GateDecision::warnFinal(concerns, safer)},
        {ActionRisk::destructive, armedFrontierLost, 2, GateDecision::blockedNeedsYolo(kReason)},
    };
    for (const Row& row : rows) {
        Store s;
        if (row.yolo != off) {
            s.defaults->setBool(QStringLiteral("tavrilon.yoloArmed"), true);
            s.defaults->setBool(QStringLiteral("tavrilon.activeModelIsFrontier"), true);
        }
        ActionGate gate(*s.defaults, s.clock);
        // A frontier flag that drops while the process runs stops YOLO decisions without disarming.
        if (row.yolo == armedFrontierLost) ActionGate::recordActiveModel(*s.defaults, QStringLiteral("local"), false);
        const TavrilonAction action = makeAction(row.risk);
        for (int i = 0; i < row.warnings; ++i) gate.noteWarning(action);
        const GateDecision d = gate.evaluate(action);
        EXPECT_EQ(d, row.expected) << "risk " << rawValue(row.risk) << " yolo " << row.yolo << " warnings "
                                   << row.warnings << " got kind " << int(d.kind());
        EXPECT_EQ(gate.yoloArmed(), row.yolo != off);
    }
}

TEST(ActionGate, WarningsEscalatePerExactTitleAndEvaluateChangesNothing)
{
    Store s;
    ActionGate gate(*s.defaults, s.clock);
    const TavrilonAction first = makeAction(ActionRisk::destructive, QStringLiteral("Quit Xcode"));
    const TavrilonAction other = makeAction(ActionRisk::destructive, QStringLiteral("Quit Safari"));

    const GateDecision::Kind expected[] = {GateDecision::Kind::warnFirst, GateDecision::Kind::warnFinal,
                                           GateDecision::Kind::blockedNeedsYolo, GateDecision::Kind::blockedNeedsYolo};
    for (GateDecision::Kind kind : expected) {
        EXPECT_EQ(gate.evaluate(first).kind(), kind);
        EXPECT_EQ(gate.evaluate(first).kind(), kind);  // asking twice counts nothing
        EXPECT_TRUE(gate.evaluate(first).isWarningOrBlock());
        gate.noteWarning(first);
    }
    EXPECT_EQ(gate.destructiveWarnings().value(QStringLiteral("Quit Xcode")), 4);
    EXPECT_EQ(gate.evaluate(other).kind(), GateDecision::Kind::warnFirst);
    EXPECT_EQ(gate.evaluate(first).reason(), kReason);
}

TEST(ActionGate, ArmingChecksPasswordThenBackendThenConfirmations)
{
    Store s;
    {
        ActionGate gate(*s.defaults, s.clock);
        QSignalSpy armedSpy(&gate, &ActionGate::yoloArmedChanged);
        // Wrong password wins over an ineligible backend; nothing is stored.
        EXPECT_EQ(gate.arm(QStringLiteral("000000"), 3), ArmResult::wrongPassword());
        EXPECT_EQ(gate.arm(QString(), 3), ArmResult::wrongPassword());
        EXPECT_EQ(gate.arm(QStringLiteral("527139 "), 3), ArmResult::wrongPassword());
        EXPECT_EQ(gate.arm(QStringLiteral("527139"), 3), ArmResult::notEligible(QStringLiteral("unknown")));
        gate.recordActiveModel(QStringLiteral("llama3:8b"), false);
        EXPECT_EQ(gate.arm(QStringLiteral("527139"), 3), ArmResult::notEligible(QStringLiteral("llama3:8b")));
        EXPECT_FALSE(s.defaults->contains(QStringLiteral("tavrilon.yoloArmed")));

        ActionGate::recordActiveModel(*s.defaults, QStringLiteral("Frontier Model"), true);
        EXPECT_EQ(s.defaults->getString(QStringLiteral("tavrilon.activeModelLabel")), QStringLiteral("Frontier Model"));
        EXPECT_EQ(gate.arm(QStringLiteral("527139"), 1), ArmResult::needsMoreConfirmations(2));
        EXPECT_EQ(gate.arm(QStringLiteral("527139"), 2), ArmResult::needsMoreConfirmations(1));
        EXPECT_FALSE(gate.yoloArmed());
        EXPECT_EQ(armedSpy.count(), 0);
        EXPECT_EQ(gate.arm(QStringLiteral("527139"), 3), ArmResult::armed());
        EXPECT_TRUE(gate.yoloArmed());
        EXPECT_EQ(armedSpy.count(), 1);
        EXPECT_EQ(gate.arm(QStringLiteral("527139"), 4), ArmResult::armed());
        EXPECT_EQ(s.defaults->getBool(QStringLiteral("tavrilon.yoloArmed")), true);
    }
    // The flags live in the settings file, so a restart sees them.
    s.defaults = std::make_unique<UserDefaults>(s.dir.path() + "/settings.json");
    EXPECT_TRUE(ActionGate(*s.defaults, s.clock).yoloArmed());

    ActionGate::recordActiveModel(*s.defaults, QStringLiteral("llama3:8b"), false);
    s.defaults = std::make_unique<UserDefaults>(s.dir.path() + "/settings.json");
    ActionGate restarted(*s.defaults, s.clock);
    EXPECT_FALSE(restarted.yoloArmed());
    EXPECT_EQ(s.defaults->getBool(QStringLiteral("tavrilon.yoloArmed")), false);
    EXPECT_EQ(s.defaults->getBool(QStringLiteral("tavrilon.activeModelIsFrontier")), false);
}

TEST(ActionGate, LedgerKeepsNewest200AndUndoOnlyForReversible)
{
    Store s;
    ActionGate gate(*s.defaults, s.clock);
    QSignalSpy changed(&gate, &ActionGate::ledgerChanged);
    EXPECT_FALSE(gate.lastEntryID().has_value());

    QList<QUuid> ids;
    for (int i = 0; i < 201; ++i) {
        gate.record(makeAction(ActionRisk::safe, QStringLiteral("Action %1").arg(i)), QStringLiteral("ran %1").arg(i),
                    false);
        ids.append(*gate.lastEntryID());
        s.clock.advance(std::chrono::seconds(1));
    }
    ASSERT_EQ(gate.ledger().size(), 200);
    EXPECT_EQ(changed.count(), 201);
    EXPECT_EQ(gate.ledger().first().id, ids.last());
    EXPECT_EQ(gate.ledger().first().outcome, QStringLiteral("ran 200"));
    EXPECT_EQ(gate.ledger().last().title, QStringLiteral("Action 1"));  // the first one fell away
    EXPECT_EQ(gate.ledger().first().timestamp, s.clock.now().addSecs(-1));
    EXPECT_EQ(std::set<QUuid>(ids.begin(), ids.end()).size(), 201u);

    for (ActionRisk risk : {ActionRisk::safe, ActionRisk::reversible, ActionRisk::destructive}) {
        int undoCalls = 0;
        TavrilonAction a = makeAction(risk);
        a.undo = [&undoCalls] { ++undoCalls; };
        gate.record(a, QStringLiteral("ok"), false);
        const GateLedgerEntry& e = gate.ledger().first();
        EXPECT_EQ(e.risk, risk);
        EXPECT_FALSE(e.undone);
        EXPECT_FALSE(e.measuredDelta.has_value());
        EXPECT_FALSE(e.metricLabel.has_value());
        EXPECT_EQ(static_cast<bool>(e.undo), risk == ActionRisk::reversible) << rawValue(risk);
        if (e.undo) e.undo();
        EXPECT_EQ(undoCalls, risk == ActionRisk::reversible ? 1 : 0);
    }
}

TEST(ActionGate, AttachMeasurementWritesDeltaOrReason)
{
    Store s;
    ActionGate gate(*s.defaults, s.clock);
    gate.record(makeAction(ActionRisk::reversible), QStringLiteral("older"), false);
    const QUuid older = *gate.lastEntryID();
    gate.record(makeAction(ActionRisk::reversible), QStringLiteral("newer"), false);
    const QUuid newer = *gate.lastEntryID();

    MeasuredOutcome outcome{OutcomeMetric::memFreedMB, QStringLiteral("relieve-mem"), 312.4, 8.0, 7.7, s.clock.now()};
    gate.attachMeasurement(older, SampleResult::value(outcome));
    EXPECT_EQ(gate.ledger()[1].measuredDelta, 312.4);
    EXPECT_EQ(gate.ledger()[1].metricLabel, QStringLiteral("+312 MB (memFreedMB)"));
    EXPECT_FALSE(gate.ledger()[0].metricLabel.has_value());

    gate.attachMeasurement(older, SampleResult::null(QStringLiteral("no SMC temperature sensor")));
    EXPECT_FALSE(gate.ledger()[1].measuredDelta.has_value());
    EXPECT_EQ(gate.ledger()[1].metricLabel, QStringLiteral("unmeasurable \u2014 no SMC temperature sensor"));

    QSignalSpy changed(&gate, &ActionGate::ledgerChanged);
    gate.attachMeasurement(QUuid::createUuid(), SampleResult::value(outcome));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(gate.ledger()[0].metricLabel.has_value());
    EXPECT_EQ(gate.ledger()[0].id, newer);
}

TEST(ActionGate, MarkUndoneOnlyOncePerEntryAndOnlyWhileListed)
{
    Store s;
    ActionGate gate(*s.defaults, s.clock);
    gate.record(makeAction(ActionRisk::reversible), QStringLiteral("older"), false);
    const QUuid older = *gate.lastEntryID();
    gate.record(makeAction(ActionRisk::reversible), QStringLiteral("newer"), false);

    QSignalSpy changed(&gate, &ActionGate::ledgerChanged);
    EXPECT_TRUE(gate.markUndone(older));
    EXPECT_TRUE(gate.ledger()[1].undone);
    EXPECT_FALSE(gate.ledger()[0].undone);
    EXPECT_EQ(changed.count(), 1);

    EXPECT_FALSE(gate.markUndone(older));  // a second undo of the same entry is refused
    EXPECT_FALSE(gate.markUndone(QUuid::createUuid()));
    EXPECT_EQ(changed.count(), 1);
}
