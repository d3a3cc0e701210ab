#include "actions/MemoryReliefAction.h"

#include "actions/ActionGate.h"
#include "actions/EpitopeLibrary.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"

MemoryReliefAction::MemoryReliefAction(OutcomeHarness& harness, ActionGate& gate, ReversibleShell& shell,
                                       EpitopeLibrary& library, std::function<QString()> relieve)
    : m_harness(harness), m_gate(gate), m_shell(shell), m_library(library), m_relieve(std::move(relieve))
{
}

TavrilonAction MemoryReliefAction::makeAction(std::function<QString()> relieve)
{
    TavrilonAction a;
    a.title = title();
    a.detail = QStringLiteral("Returns this application's unused memory to the system. Sandbox-safe.");
    a.risk = ActionRisk::reversible;
    a.perform = std::move(relieve);
    a.epitopeID = epitopeID();
    a.outcomeMetric = OutcomeMetric::memPressureDrop;
    a.history = TavrilonAction::HistoryRow{ActionType::memoryFreed, a.title, {}};
    return a;
}

std::shared_ptr<Measurement> MemoryReliefAction::run()
{
    const TavrilonAction action = makeAction(m_relieve);
    auto entryID = std::make_shared<std::optional<QUuid>>();
    ActionGate* gate = &m_gate;
    ReversibleShell* shell = &m_shell;
    EpitopeLibrary* library = &m_library;
    return m_harness.measureOutcomeSync(
        OutcomeMetric::memPressureDrop, epitopeID(),
        // The entry id is taken as the run is recorded: another action recorded during the
        // settle delay must not receive this measurement.
        [shell, action, entryID] { *entryID = shell->runGuardedAction(action); },
        [gate, shell, library, action, entryID](const SampleResult& result) {
            shell->armPendingRevert([action] { ReversibleShell::revert(action); });
            library->recordMeasuredAction(epitopeID(), title(), OutcomeMetric::memPressureDrop, result);
            if (*entryID) gate->attachMeasurement(**entryID, result);
        });
}
