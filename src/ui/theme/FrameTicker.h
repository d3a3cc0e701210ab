#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class QWidget;

// Drives a widget's animation frames. It runs only while the widget is visible and the tick
// asks for more, so an idle or hidden window costs no wake-ups.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void frame();
    void startIfVisible();

    QWidget* m_owner;
    std::function<bool(double)> m_tick;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_interval;
    bool m_wanted = false;
    bool m_delayed = false;
};
