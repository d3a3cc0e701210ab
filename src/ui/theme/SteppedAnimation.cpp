#include "ui/theme/SteppedAnimation.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

// One clock for every animation of the process: all frames fall on one grid of this interval,
// so animations that run at the same time (the ring and the score bars after a sample) wake
// the main loop together, once per frame, instead of each on its own.
qint64 sharedNowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// Every animation of the main thread, so that one waking can take others along.
std::vector<SteppedAnimation*>& animations()
{
    static std::vector<SteppedAnimation*> all;
    return all;
}

// The first grid point at or after `ms`.
qint64 gridAtOrAfter(qint64 ms)
{
    const qint64 step = SteppedAnimation::frameIntervalMs;
    return (ms + step - 1) / step * step;
}

}  // namespace

SteppedAnimation::SteppedAnimation(int durationMs, QEasingCurve curve, QObject* parent)
    : QObject(parent), m_duration(std::max(durationMs, 1)), m_curve(std::move(curve))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SteppedAnimation::frame);
    animations().push_back(this);
}

SteppedAnimation::~SteppedAnimation()
{
    auto& all = animations();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void SteppedAnimation::start(double from, double to, double visibleStep)
{
    m_timer.stop();
    m_frames.clear();
    m_next = 0;
    m_value = from;
    if (from == to) return;
    // The frames are worked out now, on the shared grid: one wherever the value has moved by a
    // visible step since the last one shown, and the last on the first grid point once the
    // duration is over.
    const double step = std::max(std::abs(visibleStep), 1e-9);
    const qint64 begin = sharedNowMs();
    const qint64 end = gridAtOrAfter(begin + m_duration);
    double shown = from;
    for (qint64 at = gridAtOrAfter(begin + 1); at < end; at += frameIntervalMs) {
        const double progress = std::min(1.0, double(at - begin) / m_duration);
        const double v = from + (to - from) * m_curve.valueForProgress(progress);
        if (std::abs(v - shown) >= step) {
            m_frames.push_back({at, v});
            shown = v;
        }
    }
    m_frames.push_back({end, to});
    scheduleNext();
}

void SteppedAnimation::stop()
{
    m_timer.stop();
    m_frames.clear();
    m_next = 0;
}

std::vector<qint64> SteppedAnimation::plannedFrameTimes() const
{
    std::vector<qint64> times;
    for (size_t i = m_next; i < m_frames.size(); ++i) times.push_back(m_frames[i].atMs);
    return times;
}

void SteppedAnimation::scheduleNext()
{
    if (m_next >= m_frames.size()) return;
    m_timer.start(int(std::max<qint64>(0, m_frames[m_next].atMs - sharedNowMs())));
}

void SteppedAnimation::frame()
{
    const qint64 now = sharedNowMs();
    // Animations whose next frame falls on the following grid point show it now, with this
    // one: the ring and the bars after a sample wake the loop once instead of each in turn. A
    // motion's last frame keeps its time, so none ends before its duration.
    std::vector<QPointer<SteppedAnimation>> along;
    for (SteppedAnimation* other : animations()) {
        if (other == this || !other->m_timer.isActive() || other->m_next + 1 >= other->m_frames.size()) continue;
        if (other->m_frames[other->m_next].atMs <= now + frameIntervalMs) along.emplace_back(other);
    }
    show(now);
    for (const QPointer<SteppedAnimation>& other : along) {
        if (other && other->m_timer.isActive() && other->m_next < other->m_frames.size())
            other->show(other->m_frames[other->m_next].atMs);
    }
}

void SteppedAnimation::show(qint64 now)
{
    // A late wake-up shows the newest frame due and skips the ones it missed.
    size_t due = m_next;
    while (due + 1 < m_frames.size() && m_frames[due + 1].atMs <= now) ++due;
    if (due >= m_frames.size()) return;
    m_value = m_frames[due].value;
    m_next = due + 1;
    if (m_next < m_frames.size()) {
        scheduleNext();
    } else {
        m_timer.stop();
        m_frames.clear();
        m_next = 0;
    }
    Q_EMIT valueChanged(m_value);
}
