#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <functional>

class QWidget;

// Drives a widget's animation frames. It runs only while the widget is visible, its window is
// on the screen, and the tick asks for more, so an idle, hidden or minimised window costs no
// wake-ups.
class FrameTicker : public QObject {
    Q_OBJECT
public:
    // `tick` gets the seconds since the previous frame and returns whether to keep going.
    FrameTicker(QWidget* owner, int intervalMs, std::function<bool(double)> tick);

    // Asks for frames; they start now if the widget is visible, else when it is shown.
    void request();
    bool isRunning() const { return m_timer.isActive(); }
    // From inside the tick: the next frame comes after `ms` instead of the usual interval (a
    // motion that will not show for a while need not wake the loop until then).
    void delayNext(int ms);
    // For a slow animation that runs for as long as it is shown, such as a breathing of three
    // frames a second: the default coarse timer may fire up to 5 % early and so ticks a few
    // percent more often than its interval says (3.07 times a second for 333 ms); a precise
    // one keeps to the interval, and costs no more.
    void keepExactRate() { m_timer.setTimerType(Qt::PreciseTimer); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void frame();
    void startIfVisible();
    // Whether the owner's window, shown, was reported to have nothing of it on the screen
    // (minimised, on another desktop); starts following the window's exposure when it first
    // exists.
    bool windowOffScreen();

    QWidget* m_owner;
    QPointer<QWindow> m_window;
    std::function<bool(double)> m_tick;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_interval;
    bool m_wanted = false;
    bool m_delayed = false;
    bool m_offScreen = false;
};
