// The drowsiness detector's cost on this machine. Prints, one per line:
// - frames per second of the landmark path (face search, 68 landmarks, eye aspect and pitch)
//   on a 640x480 frame of a real portrait, one thread;
// - the CPU share of the whole detector (% of one core) while it takes 5 frames a second of
//   that portrait through its frame source, video thread and main-thread evaluation.
#include "BenchClock.h"

#include "core/Clock.h"
#include "core/Log.h"
#include "guards/DrowsinessDetector.h"
#include "camera/DlibFaceLandmarker.h"
#include "camera/ImageFileFrameSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace {

const QString portrait = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/astronaut.png");

std::unique_ptr<FaceLandmarker> makeLandmarker(QString* error)
{
    return DlibFaceLandmarker::create(DlibFaceLandmarker::defaultModelPath(), error);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Log::setSink([](const QString&) {});

    ImageFileFrameSource frames({portrait}, 0.2, QSize(640, 480));
    if (!frames.open().ok) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(portrait));
        return 1;
    }
    QString error;
    std::unique_ptr<FaceLandmarker> landmarker = makeLandmarker(&error);
    if (!landmarker) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const GrayFrame& frame = frames.frames().front();
    if (landmarker->locate(frame).status != FaceLandmarker::Result::Status::face) {
        std::fprintf(stderr, "no face found in %s\n", qPrintable(portrait));
        return 1;
    }
    const int rounds = 40;
    const double started = bench::monotonicMs();
    for (int i = 0; i < rounds; ++i) DrowsinessDetector::measureFace(landmarker->locate(frame).points);
    const double perFrameMs = (bench::monotonicMs() - started) / rounds;
    std::printf("landmark_fps_640x480 %.1f\n", 1000.0 / perFrameMs);
    std::fflush(stdout);
    landmarker.reset();

    // The whole detector at 5 frames a second for 10 s, after the model is loaded.
    SystemClock clock;
    DrowsinessDetector detector(
        clock, [] { return std::make_unique<ImageFileFrameSource>(QStringList{portrait}, 0.2, QSize(640, 480)); },
        makeLandmarker);
    int evaluated = 0;
    double cpuAtStart = 0, wallAtStart = 0;
    QObject::connect(&detector, &DrowsinessDetector::lastVerdictChanged, [&](const DrowsyEvent&) {
        if (evaluated++ == 0) {
            cpuAtStart = bench::cpuSeconds();
            wallAtStart = bench::monotonicMs();
            QTimer::singleShot(10000, &app, &QCoreApplication::quit);
        }
    });
    QTimer::singleShot(120000, &app, [&] {
        std::fprintf(stderr, "the detector evaluated no frame\n");
        app.exit(1);
    });
    detector.start();
    if (app.exec() != 0) return 1;
    const double cpu = bench::cpuSeconds() - cpuAtStart;
    const double wall = (bench::monotonicMs() - wallAtStart) / 1000.0;
    detector.stop();
    std::printf("detector_cpu_percent_at_5fps %.1f\n", 100.0 * cpu / wall);
    return 0;
}
