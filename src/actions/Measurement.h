#pragma once

#include "actions/OutcomeMetric.h"
#include "actions/SampleResult.h"
#include "core/Models.h"
#include "core/Scheduler.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class MonitorState;

// One measured action in flight (made by OutcomeHarness). It lives on the main thread; the
// completion runs there exactly once, possibly before measureOutcome... returns (when the
// machine has no temperature reading). Dropping the handle does not stop the measurement.
class Measurement : public std::enable_shared_from_this<Measurement> {
public:
    using Completion = std::function<void(const SampleResult&)>;

    Measurement(OutcomeMetric metric, QString epitopeID, const MonitorState& monitor, Scheduler& scheduler,
                const Clock& clock, QObject* context, Completion completion);

    // Interrupts the settle wait: the "after" reading is taken at once. Cancelled while the
    // action still runs, the reading follows right after it.
    void cancel();
    bool isCancelled() const { return m_cancelled; }
    bool isFinished() const { return m_result.has_value(); }
    const std::optional<SampleResult>& result() const { return m_result; }

    // Driven by OutcomeHarness; `finished` runs once the completion has.
    void begin(std::function<void()> finished);
    void actionFinished();

    // The result of two published readings taken around an action.
    static SampleResult compare(OutcomeMetric metric, const QString& epitopeID, const PerformanceSnapshot& before,
                                const PerformanceSnapshot& after, const QDateTime& now);
    // Free space of a snapshot in GiB (0 when the used figure exceeds the total).
    static double freeGiB(const PerformanceSnapshot& snapshot);

private:
    enum class Phase { idle, acting, settling, finished };
    void finish(const SampleResult& result);
    void readAfter();
    bool contextAlive() const { return !m_context.isNull(); }

    OutcomeMetric m_metric;
    QString m_epitopeID;
    const MonitorState& m_monitor;
    Scheduler& m_scheduler;
    const Clock& m_clock;
    QPointer<QObject> m_context;
    Completion m_completion;
    std::function<void()> m_finished;

    Phase m_phase = Phase::idle;
    bool m_cancelled = false;
    PerformanceSnapshot m_before;
    WorkHandle m_wait;
    std::optional<SampleResult> m_result;
};
