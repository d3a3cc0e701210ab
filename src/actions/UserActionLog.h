#pragma once

class ActionGate;
class MonitorState;
struct TavrilonAction;

// Logs an action the user started (from the chat, the popover or the HUD) into the action
// history, as the automatic actions are: one row of the action's history kind and target with
// its outcome as the detail, stamped like the ledger entry the run just made. Called right after
// the gate recorded the run; nothing is logged for an action of no history kind, or for a run
// whose outcome says nothing was changed. Main thread.
void logUserAction(MonitorState& history, const ActionGate& gate, const TavrilonAction& action);
