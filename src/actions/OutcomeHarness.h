#pragma once

#include "actions/Measurement.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class Clock;
class MonitorState;
class Scheduler;

// Measures an action: reads the sampler's published snapshot, runs the action, waits the
// metric's settle delay on the main loop (never a blocking sleep), reads the published
// snapshot again and hands the difference to the completion. Main thread only.
class OutcomeHarness : public QObject {
    Q_OBJECT
public:
    using Completion = Measurement::Completion;
    // The action calls `done` once it has finished; from any thread.
    using AsyncAction = std::function<void(std::function<void()> done)>;

    OutcomeHarness(const MonitorState& monitor, Scheduler& scheduler, const Clock& clock, QObject* parent = nullptr);

    static OutcomeHarness& shared();

    // For an action that finishes later (work on another thread answers through `done`).
    std::shared_ptr<Measurement> measureOutcome(OutcomeMetric metric, const QString& epitopeID, AsyncAction action,
                                                Completion completion);
    // For an action that runs to its end on the main thread.
    std::shared_ptr<Measurement> measureOutcomeSync(OutcomeMetric metric, const QString& epitopeID,
                                                    std::function<void()> action, Completion completion);

private:
    std::shared_ptr<Measurement> start(OutcomeMetric metric, const QString& epitopeID, Completion completion);

    const MonitorState& m_monitor;
    Scheduler& m_scheduler;
    const Clock& m_clock;
    // Measurements run to their end even when the caller drops its handle.
    std::vector<std::shared_ptr<Measurement>> m_inFlight;
};
