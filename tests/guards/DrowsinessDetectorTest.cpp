#include "SnoozeDoubles.h"

#include "core/AppSettings.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "guards/SnoozeGuard.h"
#include "guards/DrowsinessDetector.h"
#include "platform/FaceLandmarker.h"
#include "platform/linux/CameraModule.h"
#include "camera/DlibFaceLandmarker.h"
#include "camera/ImageFileFrameSource.h"
#include "camera/V4l2FrameSource.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <grp.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A portrait from a Debian package (python3-skimage), looking at the camera.
const QString portrait = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/astronaut.png");

// Captures console lines for the life of the object.
struct LogCapture {
    QMutex mutex;
    QStringList lines;
    LogCapture()
    {
        Log::setSink([this](const QString& line) {
            QMutexLocker lock(&mutex);
            lines.append(line);
        });
    }
    ~LogCapture() { Log::setSink({}); }
    QStringList snapshot()
    {
        QMutexLocker lock(&mutex);
        return lines;
    }
    QStringList matching(const QString& prefix)
    {
        return snapshot().filter(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(prefix)));
    }
};

QString describe(const DrowsyEvent& e)
{
    switch (e.kind) {
    case DrowsyEvent::Kind::drowsy: return QStringLiteral("drowsy:") + e.reason;
    case DrowsyEvent::Kind::awake: return QStringLiteral("awake");
    case DrowsyEvent::Kind::noFace: return QStringLiteral("noFace");
    }
    return {};
}

// A level face of 68 landmarks (pixels, about 200 px tall) whose eyes have the given aspect.
std::vector<QPointF> syntheticFace(double eyeAspect)
{
    std::vector<QPointF> p(68, QPointF(300, 250));
    for (int i = 0; i <= 16; ++i) p[i] = QPointF(220 + i * 10, 200 + 120 * std::sin(i * M_PI / 16));
    p[8] = QPointF(300, 340);   // chin
    p[30] = QPointF(300, 247.6);  // nose tip: 0.34 of the way from the eye line to the chin
    const auto eye = [&](int first, double left) {
        const double w = 40, h = w * eyeAspect;
        const QPointF shape[6] = {{0, 0}, {w / 3, -h / 2}, {2 * w / 3, -h / 2}, {w, 0}, {2 * w / 3, h / 2}, {w / 3, h / 2}};
        for (int k = 0; k < 6; ++k) p[first + k] = QPointF(left, 200) + shape[k];
    };
    eye(36, 235);
    eye(42, 325);
    return p;
}

// Frames the test pushes by hand; the first byte of a frame says what the scripted landmarker
// finds in it.
struct PushSource final : FrameSource {
    FrameHandler* target;
    std::atomic<bool>* released;
    bool refused;
    PushSource(FrameHandler* t, std::atomic<bool>* r, bool refuse) : target(t), released(r), refused(refuse) {}
    OpenResult open() override { return {!refused, refused, {}}; }
    void start(FrameHandler handler) override
    {
        *target = std::move(handler);
        *released = false;
    }
    void stop() override { *released = true; }
};

enum Scene : char { noFace = 0, eyesOpen = 1, eyesShut = 2, detectionFails = 3 };

struct ScriptedLandmarker final : FaceLandmarker {
    Result locate(const GrayFrame& frame) override
    {
        Result r;
        switch (Scene(frame.pixels.at(0))) {
        case noFace: r.status = Result::Status::noFace; break;
        case eyesOpen: r.status = Result::Status::face; r.points = syntheticFace(0.35); break;
        case eyesShut: r.status = Result::Status::face; r.points = syntheticFace(0.1); break;
        case detectionFails: break;
        }
        return r;
    }
};

// A detector on hand-pushed frames and scripted landmarks, its events and verdict updates
// recorded.
struct PipelineRig {
    ManualClock clock;
    FrameSource::FrameHandler handler;  // set when the source starts
    std::atomic<bool> released{false};
    bool refuse = false;  // the next source is refused
    int sourcesMade = 0;
    DrowsinessDetector detector{clock,
                                [this] {
                                    ++sourcesMade;
                                    return std::make_unique<PushSource>(&handler, &released, refuse);
                                },
                                [](QString*) { return std::make_unique<ScriptedLandmarker>(); }};
    QStringList events;
    int verdictUpdates = 0;

    PipelineRig()
    {
        QObject::connect(&detector, &DrowsinessDetector::eventOccurred, [this](const DrowsyEvent& e) { events << describe(e); });
        QObject::connect(&detector, &DrowsinessDetector::lastVerdictChanged, [this](const DrowsyEvent&) { ++verdictUpdates; });
    }

    void startAndWait()
    {
        detector.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return detector.isRunning(); }, 5000));
    }

    // Pushes one frame and waits until its verdict reached the main thread.
    void push(Scene scene)
    {
        const int before = verdictUpdates;
        GrayFrame frame{4, 4, QByteArray(16, char(scene))};
        handler(frame);
        EXPECT_TRUE(QTest::qWaitFor([&] { return verdictUpdates > before; }, 5000)) << int(scene);
    }
};

}  // namespace

TEST(DrowsinessDetector, EyeAspectRatioOfPointTables)
{
    const struct {
        const char* name;
        std::vector<QPointF> points;
        std::optional<double> expected;
    } cases[] = {
        {"open eye", {{0, 0}, {10, -2}, {20, -2}, {30, 0}, {20, 2}, {10, 2}}, 4.0 / 30},
        {"four points are enough", {{0, 0}, {5, 3}, {10, 0}, {5, -1}}, 0.4},
        {"three points", {{0, 0}, {10, 5}, {20, 0}}, std::nullopt},
        {"all on one vertical line", {{7, 0}, {7, 2}, {7, 4}, {7, 6}}, std::nullopt},
        {"narrower than 0.0001", {{0, 0}, {0.00005, 1}, {0, 2}, {0.00001, 3}}, std::nullopt},
        {"no points", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<double> got = DrowsinessDetector::eyeAspectRatio(c.points);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.name;
        if (got) {
            EXPECT_NEAR(*got, *c.expected, 1e-9) << c.name;
        }
    }
}

TEST(DrowsinessDetector, TheMoreOpenMeasurableEyeDecides)
{
    std::vector<QPointF> face = syntheticFace(0.35);
    EXPECT_NEAR(*DrowsinessDetector::measureFace(face).eyeAspect, 0.35, 1e-9);

    // One eye shut, the other open: open.
    const std::vector<QPointF> shut = syntheticFace(0.1);
    std::copy(shut.begin() + 36, shut.begin() + 42, face.begin() + 36);
    EXPECT_NEAR(*DrowsinessDetector::measureFace(face).eyeAspect, 0.35, 1e-9);

    // The open eye unmeasurable (collapsed onto one vertical line): the shut one decides.
    for (int i = 42; i < 48; ++i) face[i] = QPointF(330, 190 + i);
    EXPECT_NEAR(*DrowsinessDetector::measureFace(face).eyeAspect, 0.1, 1e-9);

    // Neither measurable: none.
    for (int i = 36; i < 42; ++i) face[i] = QPointF(240, 190 + i);
    EXPECT_FALSE(DrowsinessDetector::measureFace(face).eyeAspect.has_value());
    EXPECT_FALSE(DrowsinessDetector::measureFace({}).eyeAspect.has_value());
}

// The pitch estimate recovers the pitch of a generic head projected at known angles, whatever
// its roll, size and place in the frame.
TEST(DrowsinessDetector, HeadPitchOfAProjectedGenericHead)
{
    struct Point3 { double y, z; };
    const Point3 eyeCorner{170, -135}, noseTip{0, 0}, chin{-330, -65};
    for (double pitch : {0.0, 0.1, 0.244, 0.35, -0.2, -0.4}) {
        for (double roll : {0.0, 0.3}) {
            const auto project = [&](Point3 p, double x) {
                const double up = p.y * std::cos(pitch) - p.z * std::sin(pitch);
                const QPointF local(x, -up);  // image y grows downwards
                const QPointF rolled(local.x() * std::cos(roll) - local.y() * std::sin(roll),
                                     local.x() * std::sin(roll) + local.y() * std::cos(roll));
                return QPointF(320, 240) + rolled * 0.4;
            };
            std::vector<QPointF> face(68, QPointF(320, 240));
            face[36] = project(eyeCorner, -225);
            face[45] = project(eyeCorner, 225);
            face[30] = project(noseTip, 0);
            face[8] = project(chin, 0);
            const std::optional<double> got = DrowsinessDetector::headPitch(face);
            ASSERT_TRUE(got.has_value());
            EXPECT_NEAR(*got, pitch, 1e-6) << "pitch " << pitch << " roll " << roll;
        }
    }
    // Eye corners on one point, or a chin at the eye line: no pitch.
    std::vector<QPointF> flat(68, QPointF(10, 10));
    EXPECT_FALSE(DrowsinessDetector::headPitch(flat).has_value());
    EXPECT_FALSE(DrowsinessDetector::headPitch({}).has_value());
}

// Sequences of evaluated frames 0.2 s apart and the verdicts they send.
TEST(DrowsinessDetector, EvaluationSequences)
{
    struct Frame {
        std::optional<double> eye;
        std::optional<double> pitch;
    };
    const auto repeat = [](Frame f, int n) { return std::vector<Frame>(size_t(n), f); };
    const auto join = [](std::vector<Frame> a, const std::vector<Frame>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Frame open{0.32, 0.02}, shut{0.12, 0.02}, tipped{0.32, 0.4}, tippedUp{0.32, -0.3}, both{0.1, 0.5};
    const struct {
        const char* name;
        std::vector<Frame> frames;
        QStringList expected;
    } cases[] = {
        {"open eyes", repeat(open, 10), {"awake"}},
        {"no measurements at all count as awake", repeat({std::nullopt, std::nullopt}, 8), {"awake"}},
        {"thresholds themselves count as open and level", repeat({0.28, 0.244}, 8), {"awake"}},
        {"closing for 0.8 s, then open", join(join(repeat(open, 2), repeat(shut, 5)), repeat(open, 3)), {"awake"}},
        {"closed for 1 s gives one verdict, not one per frame", join(repeat(shut, 10), repeat(open, 2)),
         {"awake", "drowsy:Eyes closed", "awake"}},
        {"head tipped down for 1 s", repeat(tipped, 7), {"awake", "drowsy:Head dropped"}},
        {"head tipped up counts too", repeat(tippedUp, 6), {"awake", "drowsy:Head dropped"}},
        {"eyes and head at once: eyes first", repeat(both, 6), {"awake", "drowsy:Eyes closed"}},
        {"eyes open while the head stays down changes the reason",
         join(repeat(both, 6), repeat({0.32, 0.5}, 2)), {"awake", "drowsy:Eyes closed", "drowsy:Head dropped"}},
    };
    for (const auto& c : cases) {
        ManualClock clock;
        DrowsinessDetector detector(clock, nullptr, nullptr);
        QStringList events;
        QObject::connect(&detector, &DrowsinessDetector::eventOccurred, [&](const DrowsyEvent& e) { events << describe(e); });
        for (const Frame& f : c.frames) {
            detector.evaluate(f.eye, f.pitch);
            clock.advance(200ms);
        }
        EXPECT_EQ(events, c.expected) << c.name;
    }
}

// Snooze Guard hears the detector: one episode of closed eyes is one alert.
TEST(DrowsinessDetector, ClosedEyesReachSnoozeGuardAsOneAlert)
{
    QTemporaryDir dir;
    ManualClock clock;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.json")));
    AppSettings settings(defaults, clock);
    DrowsinessDetector detector(clock, nullptr, nullptr);
    ScriptedSnoozeWatcher stuckKey;
    RecordingAlert alert;
    SnoozeGuard guard(clock, settings, detector, stuckKey, alert);
    for (int i = 0; i < 8; ++i) {
        detector.evaluate(0.1, 0.0);
        clock.advance(200ms);
    }
    EXPECT_EQ(alert.calls, QStringList{QStringLiteral("show 0 Drowsiness detected \u2014 Eyes closed")});
}

TEST(DrowsinessDetector, FramesCloserThanAFifthOfASecondAreSkippedWithoutALogLine)
{
    LogCapture log;
    ManualClock clock;
    DrowsinessDetector detector(clock, nullptr, nullptr);
    QStringList events;
    QObject::connect(&detector, &DrowsinessDetector::eventOccurred, [&](const DrowsyEvent& e) { events << describe(e); });

    // Shut from the start, a frame every 0.1 s: frames at 0, 0.2, ... are evaluated, and the
    // verdict comes on the first evaluated frame at 1.0 s.
    for (int i = 0; i <= 9; ++i) {
        detector.evaluate(0.1, 0.0);
        clock.advance(100ms);
    }
    EXPECT_EQ(events, QStringList{"awake"});
    const QStringList lines = log.matching(QStringLiteral("[SnoozeGuard] eyeAspect="));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines.first(), QStringLiteral("[SnoozeGuard] eyeAspect=0.100 pitch=0.000 rad (0.0°) eyeShutFor=0.00s pitchOffFor=0.00s"));
    EXPECT_EQ(lines.last(), QStringLiteral("[SnoozeGuard] eyeAspect=0.100 pitch=0.000 rad (0.0°) eyeShutFor=0.80s pitchOffFor=0.00s"));

    detector.evaluate(0.1, std::nullopt);  // t = 1.0 s
    EXPECT_EQ(events, (QStringList{"awake", "drowsy:Eyes closed"}));
    EXPECT_EQ(log.matching(QStringLiteral("[SnoozeGuard] eyeAspect=")).last(),
              QStringLiteral("[SnoozeGuard] eyeAspect=0.100 pitch=nil eyeShutFor=1.00s pitchOffFor=0.00s"));
    clock.advance(200ms);
    detector.evaluate(std::nullopt, -0.3);
    EXPECT_EQ(log.matching(QStringLiteral("[SnoozeGuard] eyeAspect=")).last(),
              QStringLiteral("[SnoozeGuard] eyeAspect=nil pitch=-0.300 rad (-17.2°) eyeShutFor=0.00s pitchOffFor=0.00s"));
}

// Frames through the video thread: a lost face sends noFace without touching the timers, a
// failed detection is dropped, and stop/start starts over from noFace.
TEST(DrowsinessDetector, FramesThroughTheVideoThread)
{
    PipelineRig rig;
    rig.startAndWait();
    EXPECT_FALSE(rig.detector.permissionDenied());

    rig.push(eyesShut);  // t = 0: shut since now
    EXPECT_EQ(rig.events, QStringList{"awake"});
    rig.clock.advance(400ms);
    rig.push(noFace);
    EXPECT_EQ(rig.events, (QStringList{"awake", "noFace"}));
    rig.clock.advance(300ms);
    rig.push(eyesShut);  // t = 0.7: the face is back, still shut
    rig.clock.advance(300ms);
    rig.push(eyesShut);  // t = 1.0: counted from t = 0
    EXPECT_EQ(rig.events, (QStringList{"awake", "noFace", "awake", "drowsy:Eyes closed"}));

    // A failed detection sends nothing; the next frame still gets through.
    const int updates = rig.verdictUpdates;
    rig.handler(GrayFrame{4, 4, QByteArray(16, char(detectionFails))});
    rig.clock.advance(200ms);
    rig.push(eyesOpen);
    EXPECT_EQ(rig.verdictUpdates, updates + 1);
    EXPECT_EQ(rig.events.last(), QStringLiteral("awake"));

    rig.detector.stop();
    EXPECT_FALSE(rig.detector.isRunning());
    EXPECT_EQ(rig.detector.lastVerdict(), DrowsyEvent::noFace());
    EXPECT_EQ(rig.events.last(), QStringLiteral("noFace"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.released.load(); }, 5000));  // the camera was let go

    rig.startAndWait();
    EXPECT_EQ(rig.sourcesMade, 2);
    rig.clock.advance(200ms);
    rig.push(eyesShut);  // the timers started over with the stop
    EXPECT_EQ(rig.events.last(), QStringLiteral("awake"));
}

// The failure paths of start: nothing runs, the reason is logged once, nothing crashes.
TEST(DrowsinessDetector, StartWithoutAUsableCamera)
{
    QTemporaryDir devices;
    QFile notACamera(devices.path() + QStringLiteral("/video0"));
    ASSERT_TRUE(notACamera.open(QIODevice::WriteOnly));
    notACamera.close();
    const auto failedStart = [](DrowsinessDetector::SourceFactory source, DrowsinessDetector::LandmarkerFactory landmarker) {
        LogCapture log;
        ManualClock clock;
        DrowsinessDetector detector(clock, std::move(source), std::move(landmarker));
        detector.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !log.matching(QStringLiteral("[SnoozeGuard] capture setup failed: ")).isEmpty(); }, 10000));
        QTest::qWait(50);
        EXPECT_FALSE(detector.isRunning());
        EXPECT_FALSE(detector.permissionDenied());
        const QStringList lines = log.matching(QStringLiteral("[SnoozeGuard] capture setup failed: "));
        // The status menu shows the same reason; a stop clears it.
        EXPECT_EQ(QStringList{QStringLiteral("[SnoozeGuard] capture setup failed: ") + detector.failure()}, lines);
        QSignalSpy cleared(&detector, &SnoozeWatcher::failureChanged);
        detector.stop();
        EXPECT_TRUE(detector.failure().isEmpty());
        EXPECT_EQ(cleared.count(), 1);
        return lines;
    };
    const auto dlib = [](QString* error) -> std::unique_ptr<FaceLandmarker> {
        return DlibFaceLandmarker::create(QStringLiteral("/nonexistent/model.dat"), error);
    };

    // No video device at all, and a node that is no capture device.
    QTemporaryDir empty;
    for (const QString& dir : {empty.path(), devices.path()}) {
        EXPECT_EQ(failedStart([dir] { return std::make_unique<V4l2FrameSource>(dir); }, dlib),
                  QStringList{"[SnoozeGuard] capture setup failed: No camera"})
            << dir.toStdString();
    }
    EXPECT_EQ(failedStart([] { return std::make_unique<ImageFileFrameSource>(QStringList{"/nonexistent.png"}); }, dlib),
              QStringList{"[SnoozeGuard] capture setup failed: Cannot read the image /nonexistent.png"});
    // A camera but no landmark model.
    EXPECT_EQ(failedStart([] { return std::make_unique<ImageFileFrameSource>(QStringList{portrait}); }, dlib),
              QStringList{"[SnoozeGuard] capture setup failed: Face landmark model not found: /nonexistent/model.dat"});
}

// The camera's libraries are loaded when the watch first starts: a missing library is a capture
// setup failure naming where it was looked for; the one built beside the application loads.
TEST(DrowsinessDetector, LoadsTheCameraLibraryWhenItStarts)
{
    {
        qputenv("VELTRANMOOR_CAMERA_MODULE", "/nonexistent/libveltranmoor-camera.so");
        LogCapture log;
        ManualClock clock;
        DrowsinessDetector detector(clock, [] { return CameraModule::makeCameraSource(); },
                                    [](QString* error) { return CameraModule::makeLandmarker(error); });
        detector.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !log.matching(QStringLiteral("[SnoozeGuard] capture setup failed: ")).isEmpty(); }, 10000));
        EXPECT_EQ(log.matching(QStringLiteral("[SnoozeGuard] capture setup failed: ")),
                  QStringList{"[SnoozeGuard] capture setup failed: Camera module not found (looked for "
                              "/nonexistent/libveltranmoor-camera.so)"});
        EXPECT_FALSE(detector.isRunning());
        qunsetenv("VELTRANMOOR_CAMERA_MODULE");
    }
}

TEST(DrowsinessDetector, TheBuiltCameraLibraryLoads)
{
    // This process has not loaded it yet through the loader: the lookup runs here.
    std::unique_ptr<FrameSource> source = CameraModule::makeCameraSource();
    ASSERT_TRUE(source);
    const FrameSource::OpenResult opened = source->open();
    EXPECT_FALSE(opened.error.startsWith(QStringLiteral("Camera module"))) << opened.error.toStdString();
    source->stop();
}

// A camera that may not be opened is a refused permission: nothing runs and nothing is logged;
// a later start that opens one clears it.
TEST(DrowsinessDetector, ARefusedCameraIsAPermissionRefusal)
{
    LogCapture log;
    PipelineRig rig;
    rig.refuse = true;
    QSignalSpy denied(&rig.detector, &SnoozeWatcher::permissionDeniedChanged);
    rig.detector.start();
    ASSERT_TRUE(denied.wait(5000));
    EXPECT_TRUE(rig.detector.permissionDenied());
    QTest::qWait(50);
    EXPECT_FALSE(rig.detector.isRunning());
    EXPECT_TRUE(log.matching(QStringLiteral("[SnoozeGuard] capture setup failed")).isEmpty());

    rig.refuse = false;
    rig.startAndWait();
    EXPECT_FALSE(rig.detector.permissionDenied());
}

// On the device nodes themselves: a /dev/video* node we may not open means refused, not
// "No camera".
TEST(DrowsinessDetector, AVideoNodeWeMayNotOpenIsRefused)
{
    if (geteuid() == 0) {
        // Root opens every node, so the test runs again in a child as an ordinary user.
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--gtest_filter=DrowsinessDetector.AVideoNodeWeMayNotOpenIsRefused")});
        child.setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        });
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start();
        // An ordinary user must be able to reach this binary: a build below a folder only its
        // owner may enter (a private temporary folder) cannot be run that way.
        if (!child.waitForStarted(10000) && child.error() == QProcess::FailedToStart)
            GTEST_SKIP() << "this test binary cannot be started as an ordinary user from "
                         << QCoreApplication::applicationFilePath().toStdString();
        ASSERT_TRUE(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
        return;
    }
    QTemporaryDir devices;
    QFile node(devices.path() + QStringLiteral("/video0"));
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    node.close();
    ASSERT_TRUE(node.setPermissions({}));

    V4l2FrameSource source(devices.path());
    const FrameSource::OpenResult opened = source.open();
    EXPECT_FALSE(opened.ok);
    EXPECT_TRUE(opened.permissionDenied);
    EXPECT_TRUE(opened.error.isEmpty()) << opened.error.toStdString();

    // Readable but no camera: "No camera".
    ASSERT_TRUE(node.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(source.open().error, QStringLiteral("No camera"));
}

// dlib's predictor from libdlib-data on a real portrait, through the image-file source at the
// camera's size: one open-eyed, level face; and through the whole detector, its log line.
TEST(DrowsinessDetector, RealLandmarksOnAPortrait)
{
    ImageFileFrameSource source({portrait}, 0.2, QSize(640, 480));
    ASSERT_TRUE(source.open().ok);
    QString error;
    std::unique_ptr<DlibFaceLandmarker> landmarker = DlibFaceLandmarker::create(DlibFaceLandmarker::defaultModelPath(), &error);
    ASSERT_TRUE(landmarker) << error.toStdString();

    const FaceLandmarker::Result found = landmarker->locate(source.frames().front());
    ASSERT_EQ(found.status, FaceLandmarker::Result::Status::face);
    ASSERT_EQ(found.points.size(), 68u);
    const DrowsinessDetector::FaceMeasure measure = DrowsinessDetector::measureFace(found.points);
    ASSERT_TRUE(measure.eyeAspect && measure.pitch);
    EXPECT_GT(*measure.eyeAspect, 0.28);  // open
    EXPECT_LT(*measure.eyeAspect, 0.45);
    EXPECT_LT(std::abs(*measure.pitch), 0.15);  // level

    // A blank frame has no face.
    const GrayFrame blank{640, 480, QByteArray(640 * 480, char(90))};
    EXPECT_EQ(landmarker->locate(blank).status, FaceLandmarker::Result::Status::noFace);

    LogCapture log;
    ManualClock clock;
    DrowsinessDetector detector(
        clock, [] { return std::make_unique<ImageFileFrameSource>(QStringList{portrait}, 0.05, QSize(640, 480)); },
        [](QString* error) -> std::unique_ptr<FaceLandmarker> {
            return DlibFaceLandmarker::create(DlibFaceLandmarker::defaultModelPath(), error);
        });
    QSignalSpy events(&detector, &DrowsinessDetector::eventOccurred);
    detector.start();
    ASSERT_TRUE(events.wait(30000));
    EXPECT_EQ(events.first().first().value<DrowsyEvent>(), DrowsyEvent::awake());
    EXPECT_TRUE(detector.isRunning());
    const QStringList lines = log.matching(QStringLiteral("[SnoozeGuard] eyeAspect="));
    ASSERT_EQ(lines.size(), 1);  // the clock stands still: later frames are skipped
    EXPECT_TRUE(lines.first().contains(QStringLiteral("eyeAspect=") + QString::number(*measure.eyeAspect, 'f', 3)))
        << lines.first().toStdString();
    detector.stop();
}
