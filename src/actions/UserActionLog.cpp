#include "actions/UserActionLog.h"

#include "actions/ActionGate.h"
#include "actions/TavrilonAction.h"
#include "monitoring/MonitorState.h"

void logUserAction(MonitorState& history, const ActionGate& gate, const TavrilonAction& action)
{
    if (!action.history || gate.ledger().isEmpty()) return;
    // The entry this run just made is the newest one.
    const GateLedgerEntry& entry = gate.ledger().first();
    if (entry.title != action.title) return;
    const TavrilonAction::HistoryRow& row = *action.history;
    if (row.changed && !row.changed(entry.outcome)) return;
    history.logAction(ActionRecord::make(row.type, row.target, entry.outcome, entry.timestamp, false));
}
