#pragma once

#include "actions/ActionRisk.h"
#include "actions/OutcomeMetric.h"

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
    // Runs the action synchronously on the main thread; the text is shown and kept in the ledger.
    std::function<QString()> perform;
    // Puts the change back; empty when there is nothing to put back.
    std::function<void()> undo;
    std::optional<QString> epitopeID;  // action kind in the epitope library, e.g. "relieve-mem"
    std::optional<OutcomeMetric> outcomeMetric;

    bool hasUndo() const { return static_cast<bool>(undo); }
};
