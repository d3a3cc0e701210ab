#include "actions/ReversibleShell.h"

#include "actions/ActionGate.h"

ReversibleShell::ReversibleShell(ActionGate& gate, Scheduler& scheduler, QObject* parent)
    : QObject(parent), m_gate(gate), m_scheduler(scheduler)
{
}

std::optional<QUuid> ReversibleShell::runGuardedAction(const TavrilonAction& action)
{
    const GateDecision decision = m_gate.evaluate(action);
    switch (decision.kind()) {
    case GateDecision::Kind::warnFirst:
    case GateDecision::Kind::warnFinal:
    case GateDecision::Kind::blockedNeedsYolo:
        m_gate.noteWarning(action);
        return std::nullopt;
    case GateDecision::Kind::allowYolo:
        // Irreversible actions need a user who saw the warning; nobody sees this one.
        return std::nullopt;
    case GateDecision::Kind::allowFree:
    case GateDecision::Kind::allowWithUndo:
        break;
    }
    const QString outcome = action.perform ? action.perform() : QString();
    m_gate.record(action, outcome, false);
    return m_gate.lastEntryID();
}

void ReversibleShell::armPendingRevert(std::function<void()> undo)
{
    if (m_pending && m_pending->timer) m_pending->timer->cancel();
    // Bound to this shell: a released shell's timer does nothing.
    WorkHandle timer = m_scheduler.after(revertWindow, this, [this] {
        m_pending.reset();
        Q_EMIT pendingRevertChanged(false);
    });
    m_pending = PendingRevert{std::move(timer), std::move(undo)};
    Q_EMIT pendingRevertChanged(true);
}

void ReversibleShell::revert(const TavrilonAction& action)
{
    if (action.undo) action.undo();
}

bool ReversibleShell::revertPending()
{
    if (!m_pending) return false;
    PendingRevert pending = std::move(*m_pending);
    m_pending.reset();
    if (pending.timer) pending.timer->cancel();
    if (pending.undo) pending.undo();
    Q_EMIT pendingRevertChanged(false);
    return true;
}
