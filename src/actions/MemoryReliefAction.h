#pragma once

#include "actions/Measurement.h"
#include "actions/TavrilonAction.h"

#include <functional>
#include <memory>

class ActionGate;
class EpitopeLibrary;
class OutcomeHarness;
class ReversibleShell;

// Asking the allocator to give memory back, as a measured, gated action: it passes the gate
// through the reversible shell, its drop of memory pressure is measured, learned under
// "relieve-mem" and written into its ledger entry. The learning engine starts it before a
// forecast pressure spike.
class MemoryReliefAction {
public:
    static QString epitopeID() { return QStringLiteral("relieve-mem"); }
    static QString title() { return QStringLiteral("Relieve memory pressure"); }

    // `relieve` asks the allocator for relief and answers the outcome text (performMemoryRelief).
    MemoryReliefAction(OutcomeHarness& harness, ActionGate& gate, ReversibleShell& shell, EpitopeLibrary& library,
                       std::function<QString()> relieve);

    static MemoryReliefAction& shared();

    // The action, built anew for every run.
    static TavrilonAction makeAction(std::function<QString()> relieve);

    // One measured run on the main thread; it ends after the settle delay. The handle can
    // cancel the wait; dropping it does not stop the run.
    std::shared_ptr<Measurement> run();

private:
    OutcomeHarness& m_harness;
    ActionGate& m_gate;
    ReversibleShell& m_shell;
    EpitopeLibrary& m_library;
    std::function<QString()> m_relieve;
};
