#include "actions/Measurement.h"

#include "core/Clock.h"
#include "monitoring/MonitorState.h"

#include <chrono>

Measurement::Measurement(OutcomeMetric metric, QString epitopeID, const MonitorState& monitor, Scheduler& scheduler,
                         const Clock& clock, QObject* context, Completion completion)
    : m_metric(metric), m_epitopeID(std::move(epitopeID)), m_monitor(monitor), m_scheduler(scheduler), m_clock(clock),
      m_context(context), m_completion(std::move(completion))
{
}

void Measurement::begin(std::function<void()> finished)
{
    m_finished = std::move(finished);
    // No sample of our own: the sampler's last published snapshot is the "before".
    m_before = m_monitor.currentSnapshot();
    m_phase = Phase::acting;
}

void Measurement::actionFinished()
{
    if (m_phase != Phase::acting || !contextAlive()) return;
    if (m_metric == OutcomeMetric::tempDropC && !m_before.cpuTempC) {
        finish(SampleResult::null(SampleResult::noSensorReason()));
        return;
    }
    if (m_cancelled) {
        readAfter();
        return;
    }
    m_phase = Phase::settling;
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(settleDelay(m_metric));
    // The wait is a timer on the main loop, so sampling goes on and publishes the "after" state.
    std::weak_ptr<Measurement> weak = weak_from_this();
    m_wait = m_scheduler.after(delay, m_context.data(), [weak] {
        if (auto self = weak.lock()) self->readAfter();
    });
}

void Measurement::cancel()
{
    m_cancelled = true;
    if (m_phase != Phase::settling || !contextAlive()) return;
    if (m_wait) m_wait->cancel();
    readAfter();
}

void Measurement::readAfter()
{
    if (m_phase == Phase::finished) return;
    finish(compare(m_metric, m_epitopeID, m_before, m_monitor.currentSnapshot(), m_clock.now()));
}

void Measurement::finish(const SampleResult& result)
{
    const auto keepAlive = shared_from_this();  // the finished hook may drop the last owner
    m_phase = Phase::finished;
    m_wait.reset();
    m_result = result;
    // Released before running, so whatever the completion captured goes with this run.
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion) completion(result);
    if (auto finished = std::move(m_finished)) finished();
}

double Measurement::freeGiB(const PerformanceSnapshot& snapshot)
{
    if (snapshot.diskUsed > snapshot.diskTotal) return 0;
    return static_cast<double>(snapshot.diskTotal - snapshot.diskUsed) * 9.313225746154785e-10;
}

SampleResult Measurement::compare(OutcomeMetric metric, const QString& epitopeID, const PerformanceSnapshot& before,
                                  const PerformanceSnapshot& after, const QDateTime& now)
{
    MeasuredOutcome o;
    o.metric = metric;
    o.epitopeID = epitopeID;
    o.measuredAt = now;
    switch (metric) {
    case OutcomeMetric::memFreedMB:
        o.before = before.memoryUsed;
        o.after = after.memoryUsed;
        o.delta = (o.before - o.after) * 1024.0;
        break;
    case OutcomeMetric::memPressureDrop:
        o.before = before.memoryPressure;
        o.after = after.memoryPressure;
        o.delta = o.before - o.after;
        break;
    case OutcomeMetric::tempDropC:
        if (!before.cpuTempC || !after.cpuTempC) return SampleResult::null(SampleResult::noSensorReason());
        o.before = *before.cpuTempC;
        o.after = *after.cpuTempC;
        o.delta = o.before - o.after;
        break;
    case OutcomeMetric::diskFreedGB:
        o.before = freeGiB(before);
        o.after = freeGiB(after);
        o.delta = o.after - o.before;
        break;
    case OutcomeMetric::cpuDrop:
        o.before = before.cpuUsage;
        o.after = after.cpuUsage;
        o.delta = o.before - o.after;
        break;
    }
    return SampleResult::value(o);
}
