#pragma once

#include "actions/ActionRisk.h"
#include "actions/OutcomeMetric.h"
#include "core/Models.h"

#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <optional>

// One proposed change to the machine, whoever proposes it. It carries the operation itself;
// nothing runs it except a caller that the action gate allowed to (see ActionGate).
struct TavrilonAction {
    QUuid id = QUuid::createUuid();
    QString title;  // shown to the user; also the key the gate counts warnings under
    QString detail;
    ActionRisk risk = ActionRisk::safe;
    QStringList concerns;           // what the user allows by running it
    QStringList saferAlternatives;  // what to try first instead
    // Does the action and returns the text that is shown and kept in the ledger. Runs on the
    // main thread, unless `slow`.
    std::function<QString()> perform;
    // `perform` walks or moves files (seconds, and it may wait for a cleanup already running):
    // the chat runs it on a worker thread and reports on the main thread, so it may only use
    // services that are safe from any thread.
    bool slow = false;
    // Puts the change back; empty when there is nothing to put back.
    std::function<void()> undo;
    std::optional<QString> epitopeID;  // action kind in the epitope library, e.g. "relieve-mem"
    std::optional<OutcomeMetric> outcomeMetric;

    // The action history's row for a run the user started (logUserAction): its kind and target,
    // the outcome text as its detail. `changed` tells from that text whether the run changed
    // anything (no row when it did not); empty, every run counts. None for an action of no kind
    // the history lists (a profile switch, a DNS flush).
    struct HistoryRow {
        ActionType type = ActionType::systemCheck;
        QString target;
        std::function<bool(const QString& outcome)> changed;
    };
    std::optional<HistoryRow> history;

    bool hasUndo() const { return static_cast<bool>(undo); }
};
