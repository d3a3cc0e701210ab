#include "ui/theme/SteppedAnimation.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int frameMs = 16;
}

SteppedAnimation::SteppedAnimation(int durationMs, QEasingCurve curve, QObject* parent)
    : QObject(parent), m_duration(std::max(durationMs, 1)), m_curve(std::move(curve))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SteppedAnimation::frame);
}

void SteppedAnimation::start(double from, double to, double visibleStep)
{
    m_timer.stop();
    m_frames.clear();
    m_next = 0;
    m_value = from;
    if (from == to) return;
    // The frames are worked out now, on the 60 Hz grid: one wherever the value has moved by a
    // visible step since the last one shown.
    const double step = std::max(std::abs(visibleStep), 1e-9);
    double shown = from;
    for (int t = frameMs; t < m_duration; t += frameMs) {
        const double v = from + (to - from) * m_curve.valueForProgress(double(t) / m_duration);
        if (std::abs(v - shown) >= step) {
            m_frames.push_back({t, v});
            shown = v;
        }
    }
    m_frames.push_back({m_duration, to});
    m_clock.start();
    scheduleNext(0);
}

void SteppedAnimation::stop()
{
    m_timer.stop();
    m_frames.clear();
    m_next = 0;
}

void SteppedAnimation::scheduleNext(qint64 elapsedMs)
{
    if (m_next >= m_frames.size()) return;
    m_timer.start(int(std::max<qint64>(0, m_frames[m_next].atMs - elapsedMs)));
}

void SteppedAnimation::frame()
{
    const qint64 elapsed = m_clock.elapsed();
    // A late wake-up shows the newest frame due and skips the ones it missed.
    size_t due = m_next;
    while (due + 1 < m_frames.size() && m_frames[due + 1].atMs <= elapsed) ++due;
    if (due >= m_frames.size()) return;
    m_value = m_frames[due].value;
    m_next = due + 1;
    if (m_next < m_frames.size()) {
        scheduleNext(elapsed);
    } else {
        m_frames.clear();
        m_next = 0;
    }
    Q_EMIT valueChanged(m_value);
}
