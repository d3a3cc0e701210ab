#pragma once

#include "actions/ArmResult.h"
#include "actions/GateDecision.h"
#include "actions/GateLedgerEntry.h"
#include "actions/SampleResult.h"
#include "actions/TavrilonAction.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <optional>

class Clock;
class UserDefaults;

// The one gate every change to the machine passes. It decides and never runs anything: the
// caller evaluates, runs perform only on an allowing decision, records the run, and calls
// noteWarning when it does not run a warned or blocked action. Main thread only.
//
//   GateDecision d = gate.evaluate(action);
//   if (d.kind() == GateDecision::Kind::allowFree || d.kind() == GateDecision::Kind::allowWithUndo) {
//       gate.record(action, action.perform(), false);
//   } else if (d.isWarningOrBlock()) {
//       /* show d.concerns(), d.saferAlternatives() or d.reason() */
//       gate.noteWarning(action);
//   }
class ActionGate : public QObject {
    Q_OBJECT
public:
    static inline const QString yoloKey = QStringLiteral("tavrilon.yoloArmed");
    static inline const QString activeModelIsFrontierKey = QStringLiteral("tavrilon.activeModelIsFrontier");
    static inline const QString activeModelLabelKey = QStringLiteral("tavrilon.activeModelLabel");
    static constexpr int ledgerLimit = 200;
    static constexpr int requiredConfirmations = 3;
    static const QString blockedReason;

    // Restores YOLO mode from the defaults, and clears it (stored flag too) unless the backend
    // that answered last is a frontier model.
    ActionGate(UserDefaults& defaults, const Clock& clock, QObject* parent = nullptr);

    static ActionGate& shared();

    bool yoloArmed() const { return m_yoloArmed; }
    // Newest first, at most ledgerLimit entries; in memory only.
    const QList<GateLedgerEntry>& ledger() const { return m_ledger; }
    // Warnings counted per exact action title; in memory only, never lowered.
    const QHash<QString, int>& destructiveWarnings() const { return m_destructiveWarnings; }

    // The decision for one action. Changes nothing.
    GateDecision evaluate(const TavrilonAction& action) const;
    // Counts one warning for the action's title.
    void noteWarning(const TavrilonAction& action);
    // Adds a ledger entry for an action that has just run (callers pass perform's text and false).
    void record(const TavrilonAction& action, const QString& outcome, bool undone);
    // Marks the entry with that id undone. False when it is no longer in the ledger or was
    // already undone, so the caller that undoes it runs the undo at most once.
    bool markUndone(const QUuid& entryID);
    // The newest ledger entry's id; what a measured caller reads right after record.
    std::optional<QUuid> lastEntryID() const;
    // Writes a measurement into the entry with that id; nothing when it is no longer in the ledger.
    void attachMeasurement(const QUuid& entryID, const SampleResult& result);
    // Arms YOLO mode: right password, a frontier backend, then three confirmations (the count
    // passed includes the current one). Never disarms.
    ArmResult arm(const QString& password, int confirmations);

    // What the router noted of the backend that answered last, read afresh from the defaults:
    // whether it is a frontier model, and its label ("unknown" when none is stored).
    bool activeModelIsFrontier() const;
    QString activeModelLabel() const;

    // The model router's note of the backend that gave the last answer.
    static void recordActiveModel(UserDefaults& defaults, const QString& label, bool isFrontier);
    void recordActiveModel(const QString& label, bool isFrontier) { recordActiveModel(m_defaults, label, isFrontier); }

Q_SIGNALS:
    void yoloArmedChanged(bool armed);
    void ledgerChanged();

private:

    UserDefaults& m_defaults;
    const Clock& m_clock;
    bool m_yoloArmed = false;
    QHash<QString, int> m_destructiveWarnings;
    QList<GateLedgerEntry> m_ledger;
};
