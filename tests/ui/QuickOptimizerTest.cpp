// "Optimize Now": both actions through the real gate, unmeasured, and logged in the action
// history when they changed something.
#include "actions/ActionGate.h"
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
    QStringList ran;
    QString cleanText = QStringLiteral("Nothing safe to clean right now.");
    QuickOptimizer optimizer{{
        .gate = gate,
        .history = monitor,
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

TEST(QuickOptimizer, RunsBothActionsThroughTheGateUnmeasured)
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

    // No settle delay and no sample before or after: both run and the button is free again
    // without virtual time passing.
    rig.scheduler.advance(1ms);
    Rig::settle();
    EXPECT_EQ(rig.ran, (QStringList{QStringLiteral("clean"), QStringLiteral("relief")}));
    EXPECT_FALSE(rig.optimizer.optimizing());
    EXPECT_EQ(states, (QStringList{QStringLiteral("busy"), QStringLiteral("idle")}));
    EXPECT_EQ(rig.optimizer.lastOutcome(),
              QStringLiteral("Nothing safe to clean right now. \u00B7 Requested memory relief \u2014 inactive pages compressed."));

    const QList<GateLedgerEntry>& ledger = rig.gate.ledger();
    ASSERT_EQ(ledger.size(), 2);
    EXPECT_EQ(ledger[0].title, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(ledger[1].title, QStringLiteral("Clean caches & junk"));
    for (const GateLedgerEntry& e : ledger) {
        EXPECT_FALSE(e.measuredDelta) << e.title.toStdString();
        EXPECT_FALSE(e.metricLabel) << e.title.toStdString();
    }
}

TEST(QuickOptimizer, WhatARunChangedReachesTheActionHistory)
{
    struct Case {
        QString cleanText;
        QList<ActionType> logged;  // newest first
    };
    const Case cases[] = {
        {QStringLiteral("Freed 3.1 MB across 1 cache locations."), {ActionType::memoryFreed, ActionType::cacheCleared}},
        // A cleanup that found nothing cleared nothing.
        {QStringLiteral("Nothing safe to clean right now."), {ActionType::memoryFreed}},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.cleanText = c.cleanText;
        rig.clock.advance(3600s);
        rig.optimizer.optimizeNow();
        rig.scheduler.advance(50ms);
        Rig::settle();
        ASSERT_FALSE(rig.optimizer.optimizing());
        QList<ActionType> logged;
        for (const ActionRecord& r : rig.monitor.actions) {
            logged << r.action;
            EXPECT_FALSE(r.wasAutomatic);
            EXPECT_EQ(r.timestamp, rig.clock.now());
        }
        EXPECT_EQ(logged, c.logged) << c.cleanText.toStdString();
        const ActionRecord& relief = rig.monitor.actions.first();
        EXPECT_EQ(relief.target, QStringLiteral("Relieve memory pressure"));
        EXPECT_EQ(relief.detail, QStringLiteral("Requested memory relief \u2014 inactive pages compressed."));
        if (logged.size() == 2) {
            EXPECT_EQ(rig.monitor.actions.last().target, QStringLiteral("Clean caches & junk"));
            EXPECT_EQ(rig.monitor.actions.last().detail, c.cleanText);
        }
    }
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
