#pragma once

#include <QEasingCurve>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

// A value gliding from one reading to the next over a fixed time and curve, like a property
// animation, but it wakes only when the value has moved far enough to show: a change of a few
// pixels costs a few frames, not sixty a second. Frames of every animation fall on one shared
// grid of 25 a second, so animations running together wake the main loop together; the last
// frame lands on the target once the duration is over. An animation that wakes takes along the
// others whose next frame is on the following grid point.
class SteppedAnimation : public QObject {
    Q_OBJECT
public:
    static constexpr int frameIntervalMs = 40;

    SteppedAnimation(int durationMs, QEasingCurve curve, QObject* parent = nullptr);
    ~SteppedAnimation() override;

    // `visibleStep` is the smallest change of value that shows on screen (a device pixel).
    void start(double from, double to, double visibleStep);
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    double value() const { return m_value; }
    // Frames the current motion wakes for, the last one included.
    int plannedFrames() const { return int(m_frames.size()); }
    // When the frames still to come are due, on the shared clock (ms): multiples of the interval.
    std::vector<qint64> plannedFrameTimes() const;

Q_SIGNALS:
    void valueChanged(double value);

private:
    struct Frame {
        qint64 atMs;  // on the shared clock
        double value;
    };
    void frame();
    // Shows the newest frame due at `now` (shared clock) and schedules the one after.
    void show(qint64 now);
    void scheduleNext();

    int m_duration;
    QEasingCurve m_curve;
    QTimer m_timer;
    std::vector<Frame> m_frames;
    size_t m_next = 0;
    double m_value = 0;
};
