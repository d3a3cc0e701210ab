#pragma once

#include <QEasingCurve>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

// A value gliding from one reading to the next over a fixed time and curve, like a property
// animation, but it wakes only when the value has moved far enough to show: a change of a few
// pixels costs a few frames, not sixty a second. Frames never come faster than 60 a second,
// and the last one lands on the target at the end of the duration.
class SteppedAnimation : public QObject {
    Q_OBJECT
public:
    SteppedAnimation(int durationMs, QEasingCurve curve, QObject* parent = nullptr);

    // `visibleStep` is the smallest change of value that shows on screen (a device pixel).
    void start(double from, double to, double visibleStep);
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    double value() const { return m_value; }
    // Frames the current motion wakes for, the last one included.
    int plannedFrames() const { return int(m_frames.size()); }

Q_SIGNALS:
    void valueChanged(double value);

private:
    struct Frame {
        int atMs;
        double value;
    };
    void frame();
    void scheduleNext(qint64 elapsedMs);

    int m_duration;
    QEasingCurve m_curve;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::vector<Frame> m_frames;
    size_t m_next = 0;
    double m_value = 0;
};
