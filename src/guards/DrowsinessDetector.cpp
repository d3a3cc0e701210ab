#include "guards/DrowsinessDetector.h"

#include "core/Clock.h"
#include "core/Log.h"
#include "platform/FaceLandmarker.h"
#include "platform/FrameSource.h"

#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

const QString setupFailed = QStringLiteral("[SnoozeGuard] capture setup failed: ");

QString formatOptional(std::optional<double> value, const std::function<QString(double)>& format)
{
    return value ? format(*value) : QStringLiteral("nil");
}

}  // namespace

// Lives on the video thread: opens and closes the source, and runs the landmark step on the
// newest frame. A frame that arrives while another is in work replaces any frame still
// waiting, so late frames are dropped rather than queued.
class DrowsinessDetector::VideoWorker final : public QObject {
public:
    VideoWorker(DrowsinessDetector* detector, SourceFactory makeSource, LandmarkerFactory makeLandmarker)
        : m_detector(detector), m_makeSource(std::move(makeSource)), m_makeLandmarker(std::move(makeLandmarker))
    {
    }

    // Video thread.
    void beginCapture(quint64 session)
    {
        closeSource();
        auto source = m_makeSource ? m_makeSource() : nullptr;
        const FrameSource::OpenResult opened =
            source ? source->open() : FrameSource::OpenResult{false, false, FrameSource::noCameraError()};
        if (opened.permissionDenied || !opened.ok) {
            if (!opened.permissionDenied) Log::line(setupFailed + opened.error);
            const QString failure = opened.permissionDenied ? QString() : opened.error;
            toMain([session, denied = opened.permissionDenied, failure](DrowsinessDetector* d) {
                if (session != d->m_session) return;
                d->setPermissionDeniedValue(denied);
                d->startFinished(session, false, failure);
            });
            return;
        }
        toMain([session](DrowsinessDetector* d) {
            if (session == d->m_session) d->setPermissionDeniedValue(false);
        });
        if (!m_landmarker && m_makeLandmarker) {
            QString error;
            m_landmarker = m_makeLandmarker(&error);
            if (!m_landmarker) {
                Log::line(setupFailed + error);
                source->stop();
                toMain([session, error](DrowsinessDetector* d) { d->startFinished(session, false, error); });
                return;
            }
        }
        {
            std::lock_guard lock(m_slotMutex);
            m_pending.reset();
            m_scheduled = false;
        }
        m_session = session;
        m_source = std::move(source);
        m_source->start([this](GrayFrame frame) { frameArrived(std::move(frame)); });
        toMain([session](DrowsinessDetector* d) { d->startFinished(session, true); });
    }

    // Video thread.
    void closeSource()
    {
        if (m_source) m_source->stop();
        m_source.reset();
        std::lock_guard lock(m_slotMutex);
        m_pending.reset();
    }

private:
    // Source thread.
    void frameArrived(GrayFrame frame)
    {
        std::lock_guard lock(m_slotMutex);
        m_pending = std::move(frame);
        if (m_scheduled) return;
        m_scheduled = true;
        QMetaObject::invokeMethod(this, [this] { processPending(); }, Qt::QueuedConnection);
    }

    // Video thread.
    void processPending()
    {
        std::optional<GrayFrame> frame;
        {
            std::lock_guard lock(m_slotMutex);
            m_scheduled = false;
            frame.swap(m_pending);
        }
        if (!frame || !m_source || !m_landmarker) return;
        const FaceLandmarker::Result found = m_landmarker->locate(*frame);
        const quint64 session = m_session;
        switch (found.status) {
        case FaceLandmarker::Result::Status::failed:
            return;  // dropped without a word
        case FaceLandmarker::Result::Status::noFace:
            toMain([session](DrowsinessDetector* d) { d->frameResult(session, false, std::nullopt, std::nullopt); });
            return;
        case FaceLandmarker::Result::Status::face: {
            const FaceMeasure measure = DrowsinessDetector::measureFace(found.points);
            toMain([session, measure](DrowsinessDetector* d) {
                d->frameResult(session, true, measure.eyeAspect, measure.pitch);
            });
            return;
        }
        }
    }

    // Runs on the main thread, and not at all once the detector is gone.
    void toMain(std::function<void(DrowsinessDetector*)> call)
    {
        QPointer<DrowsinessDetector> detector = m_detector;
        QMetaObject::invokeMethod(
            m_detector, [detector, call = std::move(call)] {
                if (detector) call(detector.data());
            },
            Qt::QueuedConnection);
    }

    DrowsinessDetector* m_detector;
    SourceFactory m_makeSource;
    LandmarkerFactory m_makeLandmarker;
    std::unique_ptr<FrameSource> m_source;
    std::unique_ptr<FaceLandmarker> m_landmarker;
    quint64 m_session = 0;

    std::mutex m_slotMutex;
    std::optional<GrayFrame> m_pending;
    bool m_scheduled = false;
};

DrowsinessDetector::DrowsinessDetector(const Clock& clock, SourceFactory makeSource, LandmarkerFactory makeLandmarker,
                                       QObject* parent)
    : SnoozeWatcher(parent), m_clock(clock)
{
    qRegisterMetaType<DrowsyEvent>();
    m_videoThread = new QThread;
    m_videoThread->setObjectName(QStringLiteral("snooze-video"));
    m_worker = new VideoWorker(this, std::move(makeSource), std::move(makeLandmarker));
    m_worker->moveToThread(m_videoThread);
    m_videoThread->start();
}

DrowsinessDetector::~DrowsinessDetector()
{
    // The worker goes with its thread: the camera is released there, then the thread ends.
    VideoWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker] {
            worker->closeSource();
            delete worker;
        },
        Qt::BlockingQueuedConnection);
    m_videoThread->quit();
    m_videoThread->wait();
    delete m_videoThread;
}

void DrowsinessDetector::start()
{
    if (m_isRunning || m_starting) return;
    m_starting = true;
    const quint64 session = ++m_session;
    VideoWorker* worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, session] { worker->beginCapture(session); }, Qt::QueuedConnection);
}

void DrowsinessDetector::startFinished(quint64 session, bool running, QString failure)
{
    if (session != m_session) return;
    m_starting = false;
    setFailure(std::move(failure));
    setRunning(running);
}

void DrowsinessDetector::stop()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this] { stop(); }, Qt::QueuedConnection);
        return;
    }
    ++m_session;
    m_starting = false;
    setFailure(QString());
    VideoWorker* worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker] { worker->closeSource(); }, Qt::QueuedConnection);
    setRunning(false);
    m_eyeShutSince.reset();
    m_headDownSince.reset();
    setVerdict(DrowsyEvent::noFace());
}

void DrowsinessDetector::setRunning(bool running)
{
    if (m_isRunning == running) return;
    m_isRunning = running;
    Q_EMIT isRunningChanged(running);
}

void DrowsinessDetector::setFailure(QString failure)
{
    if (m_failure == failure) return;
    m_failure = std::move(failure);
    Q_EMIT failureChanged();
}

void DrowsinessDetector::setPermissionDeniedValue(bool denied)
{
    if (m_permissionDenied == denied) return;
    m_permissionDenied = denied;
    Q_EMIT permissionDeniedChanged(denied);
}

void DrowsinessDetector::frameResult(quint64 session, bool face, std::optional<double> eyeAspect,
                                     std::optional<double> pitch)
{
    if (session != m_session || !m_isRunning) return;
    if (!face) {
        // The timers keep their values: a face that comes back still shut counts the time.
        setVerdict(DrowsyEvent::noFace());
        return;
    }
    evaluate(eyeAspect, pitch);
}

void DrowsinessDetector::evaluate(std::optional<double> eyeAspect, std::optional<double> pitch)
{
    const QDateTime now = m_clock.now();
    if (m_lastFrameAt && m_lastFrameAt->msecsTo(now) < qint64(minFrameInterval * 1000)) return;
    m_lastFrameAt = now;

    if (eyeAspect && *eyeAspect < eyeShutAspectThreshold) {
        if (!m_eyeShutSince) m_eyeShutSince = now;
    } else {
        m_eyeShutSince.reset();
    }
    if (pitch && std::abs(*pitch) > headPitchMagnitudeThreshold) {
        if (!m_headDownSince) m_headDownSince = now;
    } else {
        m_headDownSince.reset();
    }

    const auto secondsSince = [&now](const std::optional<QDateTime>& since) {
        return since ? double(since->msecsTo(now)) / 1000.0 : 0.0;
    };
    const double eyeShutFor = secondsSince(m_eyeShutSince);
    const double pitchOffFor = secondsSince(m_headDownSince);
    Log::line(QStringLiteral("[SnoozeGuard] eyeAspect=%1 pitch=%2 eyeShutFor=%3s pitchOffFor=%4s")
                  .arg(formatOptional(eyeAspect, [](double v) { return QString::number(v, 'f', 3); }),
                       formatOptional(pitch,
                                      [](double v) {
                                          return QString::number(v, 'f', 3) + QStringLiteral(" rad (") +
                                                 QString::number(v * 180.0 / M_PI, 'f', 1) + QStringLiteral("°)");
                                      }),
                       QString::number(eyeShutFor, 'f', 2), QString::number(pitchOffFor, 'f', 2)));

    if (m_eyeShutSince && eyeShutFor >= sustainedTriggerSeconds)
        setVerdict(DrowsyEvent::drowsy(QStringLiteral("Eyes closed")));
    else if (m_headDownSince && pitchOffFor >= sustainedTriggerSeconds)
        setVerdict(DrowsyEvent::drowsy(QStringLiteral("Head dropped")));
    else
        setVerdict(DrowsyEvent::awake());
}

void DrowsinessDetector::setVerdict(const DrowsyEvent& event)
{
    const DrowsyEvent previous = m_lastVerdict;
    m_lastVerdict = event;
    Q_EMIT lastVerdictChanged(event);
    if (!(event == previous)) Q_EMIT eventOccurred(event);
}

std::optional<double> DrowsinessDetector::eyeAspectRatio(const std::vector<QPointF>& points)
{
    if (points.size() < 4) return std::nullopt;
    double minX = points.front().x(), maxX = minX, minY = points.front().y(), maxY = minY;
    for (const QPointF& p : points) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    const double width = maxX - minX;
    if (!(width > 0.0001)) return std::nullopt;
    return (maxY - minY) / width;
}

// The pitch comes from where the nose tip sits between the eye line and the chin, measured
// along the face's own vertical axis (square to the line through the outer eye corners, so a
// rolled head does not read as pitched). On a generic head, with the nose tip as origin and the
// camera on the +z axis, the outer eye corners stand at y = 170, z = -135 and the chin at
// y = -330, z = -65. Nodding the head down by a pitch p puts a point at the image height
// y cos p - z sin p, so the share r of the eye-to-chin distance that lies above the nose tip is
//   r = (170 cos p + 135 sin p) / (500 cos p + 70 sin p),
// which solves to tan p = (500 r - 170) / (135 - 70 r). Level gives r = 0.34; tipping the head
// down pushes the nose tip towards the chin and raises r. A head tipped up, down, or seen
// from a little below reads as a pitch of its own size whichever way it goes.
std::optional<double> DrowsinessDetector::headPitch(const std::vector<QPointF>& landmarks)
{
    if (landmarks.size() < 68) return std::nullopt;
    const QPointF outerLeft = landmarks[36];
    const QPointF outerRight = landmarks[45];
    const QPointF across = outerRight - outerLeft;
    const double span = std::hypot(across.x(), across.y());
    if (span < 1e-6) return std::nullopt;
    const QPointF down(-across.y() / span, across.x() / span);  // image y grows downwards
    const QPointF eyes = (outerLeft + outerRight) / 2;
    const auto depthDown = [&](const QPointF& p) { return QPointF::dotProduct(p - eyes, down); };
    const double toNose = depthDown(landmarks[30]);
    const double toChin = depthDown(landmarks[8]);
    if (toChin < 1e-6) return std::nullopt;
    const double r = toNose / toChin;
    return std::atan2(500.0 * r - 170.0, 135.0 - 70.0 * r);
}

DrowsinessDetector::FaceMeasure DrowsinessDetector::measureFace(const std::vector<QPointF>& landmarks)
{
    FaceMeasure measure;
    if (landmarks.size() < 68) return measure;
    const std::vector<QPointF> left(landmarks.begin() + 36, landmarks.begin() + 42);
    const std::vector<QPointF> right(landmarks.begin() + 42, landmarks.begin() + 48);
    const std::optional<double> l = eyeAspectRatio(left);
    const std::optional<double> r = eyeAspectRatio(right);
    // The more open eye decides: the eyes count as shut only when every measurable one is.
    if (l && r)
        measure.eyeAspect = std::max(*l, *r);
    else
        measure.eyeAspect = l ? l : r;
    measure.pitch = headPitch(landmarks);
    return measure;
}
