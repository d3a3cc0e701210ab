#pragma once

#include "actions/TavrilonAction.h"
#include "core/Scheduler.h"

#include <QObject>
#include <QUuid>
#include <chrono>
#include <functional>
#include <optional>

class ActionGate;

// Puts one action through the gate without a dialogue (measured, non-interactive callers), then
// holds its undo as a pending revert for a short window. The application's measured callers
// share one shell, so the hero card's Revert finds the latest pending undo. Main thread only.
class ReversibleShell : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds revertWindow{5000};

    ReversibleShell(ActionGate& gate, Scheduler& scheduler, QObject* parent = nullptr);

    static ReversibleShell& shared();

    // Runs the action only when the gate allows it freely or with undo, and records it; counts a
    // warning when the gate warns or blocks. Never runs an action under YOLO mode. Answers the
    // id of the ledger entry it recorded, none when the action did not run.
    std::optional<QUuid> runGuardedAction(const TavrilonAction& action);
    // Makes `undo` the pending revert for revertWindow, replacing (and stopping) any earlier one.
    void armPendingRevert(std::function<void()> undo);
    // Runs the action's undo when it has one.
    static void revert(const TavrilonAction& action);

    bool hasPendingRevert() const { return m_pending.has_value(); }
    // The hero card's Revert: runs the pending undo, stops its timer and empties it.
    // false when nothing was pending.
    bool revertPending();

Q_SIGNALS:
    void pendingRevertChanged(bool pending);

private:
    struct PendingRevert {
        WorkHandle timer;
        std::function<void()> undo;
    };

    ActionGate& m_gate;
    Scheduler& m_scheduler;
    std::optional<PendingRevert> m_pending;
};
