#include "core/Scheduler.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

class QtWork final : public ScheduledWork {
public:
    explicit QtWork(QTimer* timer) : m_timer(timer) {}
    ~QtWork() override = default;
    void cancel() override
    {
        if (m_timer) {
            m_timer->stop();
            m_timer->deleteLater();
            m_timer = nullptr;
        }
    }
    bool isActive() const override { return m_timer && m_timer->isActive(); }

private:
    QPointer<QTimer> m_timer;
};

WorkHandle schedule(std::chrono::milliseconds ms, bool repeat, QObject* context, std::function<void()> work)
{
    // QTimer counts in an int of milliseconds: a longer wait (about 24.8 days) would wrap
    // negative and never fire, so it is held at the longest one the timer can count.
    ms = std::clamp(ms, std::chrono::milliseconds(0), std::chrono::milliseconds(std::numeric_limits<int>::max()));
    auto* timer = new QTimer(context);
    // Periodic work of a second or more may run a few percent early or late, so Qt can wake
    // once for several timers rather than once for each; short and one-off delays stay exact.
    timer->setTimerType(repeat && ms >= std::chrono::seconds(1) ? Qt::CoarseTimer : Qt::PreciseTimer);
    timer->setSingleShot(!repeat);
    timer->setInterval(ms);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, repeat, work = std::move(work)] {
        if (!repeat) timer->deleteLater();
        work();
    });
    timer->start();
    return std::make_shared<QtWork>(timer);
}

}  // namespace

WorkHandle QtScheduler::after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work)
{
    return schedule(delay, false, context, std::move(work));
}

WorkHandle QtScheduler::every(std::chrono::milliseconds interval, QObject* context, std::function<void()> work)
{
    return schedule(interval, true, context, std::move(work));
}

std::chrono::milliseconds secondsToMs(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(std::llround(seconds * 1000.0));
}
