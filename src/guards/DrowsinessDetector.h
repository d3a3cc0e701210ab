#pragma once

#include "guards/SnoozeTypes.h"

#include <QPointF>
#include <QDateTime>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class FaceLandmarker;
class FrameSource;
class QThread;

// Snooze Guard's camera watcher. Frames come from a FrameSource on its own thread; the face and
// its 68 landmarks are found on the detector's video thread and reduced there to two numbers,
// the eye aspect ratio and the head pitch; the timers and the verdict live on the main thread,
// where evaluate() takes at most one frame per 0.2 s. Each change of verdict is emitted as
// eventOccurred.
class DrowsinessDetector final : public SnoozeWatcher {
    Q_OBJECT
public:
    // Both factories run on the video thread: the source at every start (each start opens the
    // camera afresh, each stop releases it), the landmarker at the first start that opened one.
    using SourceFactory = std::function<std::unique_ptr<FrameSource>()>;
    using LandmarkerFactory = std::function<std::unique_ptr<FaceLandmarker>(QString* error)>;

    // The application hands in the camera and the landmark finder of the platform layer.
    DrowsinessDetector(const Clock& clock, SourceFactory makeSource, LandmarkerFactory makeLandmarker,
                       QObject* parent = nullptr);
    ~DrowsinessDetector() override;

    void start() override;
    void stop() override;
    bool isRunning() const override { return m_isRunning; }
    bool permissionDenied() const override { return m_permissionDenied; }
    // FrameSource::noCameraError() when there is no camera.
    QString failure() const override { return m_failure; }
    DrowsyEvent lastVerdict() const { return m_lastVerdict; }

    const double eyeShutAspectThreshold = 0.28;
    const double headPitchMagnitudeThreshold = 0.244;  // radians, about 13.98 degrees
    const double sustainedTriggerSeconds = 1.0;
    static constexpr double minFrameInterval = 0.2;

    // One evaluated frame: throttle, the two timers, the log line and the verdict. Main thread.
    void evaluate(std::optional<double> eyeAspect, std::optional<double> pitch);
    // Stores the verdict and emits it when it differs from the last one. Main thread.
    void setVerdict(const DrowsyEvent& event);

    // Height over width of the points' bounding box; none for fewer than 4 points or a box
    // narrower than 0.0001.
    static std::optional<double> eyeAspectRatio(const std::vector<QPointF>& points);

    struct FaceMeasure {
        std::optional<double> eyeAspect;
        std::optional<double> pitch;  // radians, positive when the head tips down
    };
    // The two numbers of a face from its 68 landmarks: the more open eye's aspect ratio and
    // the estimated head pitch.
    static FaceMeasure measureFace(const std::vector<QPointF>& landmarks);
    static std::optional<double> headPitch(const std::vector<QPointF>& landmarks);

Q_SIGNALS:
    void eventOccurred(const DrowsyEvent& event);
    void lastVerdictChanged(const DrowsyEvent& event);

private:
    class VideoWorker;
    void setRunning(bool running);
    void setPermissionDeniedValue(bool denied);
    void setFailure(QString failure);
    void frameResult(quint64 session, bool face, std::optional<double> eyeAspect, std::optional<double> pitch);
    void startFinished(quint64 session, bool running, QString failure = QString());

    const Clock& m_clock;
    QThread* m_videoThread = nullptr;
    VideoWorker* m_worker = nullptr;

    bool m_isRunning = false;
    bool m_starting = false;
    bool m_permissionDenied = false;
    QString m_failure;
    DrowsyEvent m_lastVerdict = DrowsyEvent::noFace();
    std::optional<QDateTime> m_eyeShutSince;
    std::optional<QDateTime> m_headDownSince;
    std::optional<QDateTime> m_lastFrameAt;  // none: the distant past
    // Moves on at every start and stop, so results of an earlier run are dropped.
    quint64 m_session = 0;
};
