#pragma once

#include "actions/ActionRisk.h"

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

// One action that ran, as the gate's ledger keeps it.
struct GateLedgerEntry {
    QUuid id;
    QString title;
    ActionRisk risk = ActionRisk::safe;
    QString outcome;  // the text perform returned
    QDateTime timestamp;
    std::function<void()> undo;  // kept only for a reversible action
    bool undone = false;
    std::optional<double> measuredDelta;  // in the unit of the metric
    std::optional<QString> metricLabel;   // the delta with the metric name, or why nothing was measured
};
