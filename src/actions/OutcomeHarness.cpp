#include "actions/OutcomeHarness.h"

#include "core/MainThread.h"

#include <QThread>
#include <atomic>

OutcomeHarness::OutcomeHarness(const MonitorState& monitor, Scheduler& scheduler, const Clock& clock, QObject* parent)
    : QObject(parent), m_monitor(monitor), m_scheduler(scheduler), m_clock(clock)
{
}

std::shared_ptr<Measurement> OutcomeHarness::start(OutcomeMetric metric, const QString& epitopeID, Completion completion)
{
    auto m = std::make_shared<Measurement>(metric, epitopeID, m_monitor, m_scheduler, m_clock, this, std::move(completion));
    m_inFlight.push_back(m);
    Measurement* raw = m.get();
    m->begin([this, raw] { std::erase_if(m_inFlight, [raw](const auto& p) { return p.get() == raw; }); });
    return m;
}

std::shared_ptr<Measurement> OutcomeHarness::measureOutcome(OutcomeMetric metric, const QString& epitopeID,
                                                            AsyncAction action, Completion completion)
{
    auto m = start(metric, epitopeID, std::move(completion));
    auto called = std::make_shared<std::atomic_bool>(false);
    QPointer<OutcomeHarness> self(this);
    QThread* home = thread();
    std::function<void()> done = [m, called, self, home] {
        if (called->exchange(true)) return;
        // The rest of the measurement reads published state, which lives on the main thread.
        if (QThread::currentThread() == home) {
            m->actionFinished();
        } else if (QObject* context = self.data()) {
            postTo(context, [m] { m->actionFinished(); });
        }
    };
    if (action) {
        action(std::move(done));
    } else {
        done();
    }
    return m;
}

std::shared_ptr<Measurement> OutcomeHarness::measureOutcomeSync(OutcomeMetric metric, const QString& epitopeID,
                                                                std::function<void()> action, Completion completion)
{
    auto m = start(metric, epitopeID, std::move(completion));
    if (action) action();
    m->actionFinished();
    return m;
}
