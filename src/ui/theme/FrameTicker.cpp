#include "ui/theme/FrameTicker.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

FrameTicker::FrameTicker(QWidget* owner, int intervalMs, std::function<bool(double)> tick)
    : QObject(owner), m_owner(owner), m_tick(std::move(tick)), m_interval(intervalMs)
{
    m_timer.setInterval(intervalMs);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FrameTicker::frame);
    owner->installEventFilter(this);
}

void FrameTicker::request()
{
    m_wanted = true;
    // A frame put off by delayNext comes at the usual interval again: something new moves.
    if (m_timer.isActive() && m_timer.interval() != m_interval) m_timer.setInterval(m_interval);
    startIfVisible();
}

bool FrameTicker::windowOffScreen()
{
    // The window exists once shown; from then on its exposure is followed.
    QWindow* window = m_owner->window()->windowHandle();
    if (window && window != m_window) {
        if (m_window) m_window->removeEventFilter(this);
        m_window = window;
        m_offScreen = false;
        window->installEventFilter(this);
    }
    return m_offScreen;
}

void FrameTicker::startIfVisible()
{
    if (!m_wanted || m_timer.isActive() || !m_owner->isVisible() || windowOffScreen()) return;
    m_timer.setInterval(m_interval);
    m_clock.start();
    m_timer.start();
}

void FrameTicker::frame()
{
    const double dt = double(m_clock.restart()) / 1000.0;
    // Hidden, or shown but off the screen: no frames until it is back; the wish for frames
    // stays.
    if (!m_owner->isVisible() || windowOffScreen()) {
        m_timer.stop();
        return;
    }
    if (!m_tick(dt)) {
        m_wanted = false;
        m_timer.stop();
    } else if (m_timer.interval() != m_interval && !m_delayed) {
        m_timer.setInterval(m_interval);
    }
    m_delayed = false;
}

void FrameTicker::delayNext(int ms)
{
    m_delayed = true;
    m_timer.setInterval(std::max(ms, 1));
}

bool FrameTicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_owner) {
        if (event->type() == QEvent::Hide) {
            m_timer.stop();
        } else if (event->type() == QEvent::Show) {
            // A window being shown is not exposed yet; frames start with the show all the same.
            m_offScreen = false;
            startIfVisible();
        }
    } else if (watched == m_window && event->type() == QEvent::Expose) {
        // Taken off the screen while shown (its exposed flag is set before the event is sent),
        // or back on it: frames stop or resume at once.
        m_offScreen = !m_window->isExposed() && m_window->isVisible();
        if (m_offScreen) m_timer.stop();
        else startIfVisible();
    }
    return QObject::eventFilter(watched, event);
}
