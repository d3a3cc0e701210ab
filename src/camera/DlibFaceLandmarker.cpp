#include "camera/DlibFaceLandmarker.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>
#include <opencv2/core.hpp>

#include <QFileInfo>

#include <map>
#include <mutex>

namespace {

// Live predictors by model path: instances share one, and it is freed with the last of them.
std::shared_ptr<const dlib::shape_predictor> sharedPredictor(const QString& path, QString* error)
{
    static std::mutex mutex;
    static std::map<QString, std::weak_ptr<const dlib::shape_predictor>> loaded;
    std::lock_guard lock(mutex);
    if (auto live = loaded[path].lock()) return live;
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("Face landmark model not found: ") + path;
        return nullptr;
    }
    auto predictor = std::make_shared<dlib::shape_predictor>();
    try {
        dlib::deserialize(path.toStdString()) >> *predictor;
    } catch (const std::exception& e) {
        *error = QStringLiteral("Face landmark model unreadable: ") + path + QStringLiteral(" (") +
                 QString::fromLocal8Bit(e.what()).trimmed() + QStringLiteral(")");
        return nullptr;
    }
    loaded[path] = predictor;
    return predictor;
}

}  // namespace

struct DlibFaceLandmarker::Impl {
    std::shared_ptr<const dlib::shape_predictor> predictor;
    dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
};

QString DlibFaceLandmarker::defaultModelPath()
{
    return QStringLiteral("/usr/share/dlib/shape_predictor_68_face_landmarks.dat");
}

std::unique_ptr<DlibFaceLandmarker> DlibFaceLandmarker::create(const QString& modelPath, QString* error)
{
    QString why;
    auto predictor = sharedPredictor(modelPath, &why);
    if (!predictor) {
        if (error) *error = why;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->predictor = std::move(predictor);
    return std::unique_ptr<DlibFaceLandmarker>(new DlibFaceLandmarker(std::move(impl)));
}

DlibFaceLandmarker::DlibFaceLandmarker(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
DlibFaceLandmarker::~DlibFaceLandmarker() = default;

FaceLandmarker::Result DlibFaceLandmarker::locate(const GrayFrame& frame)
{
    Result result;
    if (frame.width <= 0 || frame.height <= 0 ||
        frame.pixels.size() < qsizetype(frame.width) * frame.height)
        return result;  // failed
    try {
        // A view on the frame's bytes, no copy.
        const cv::Mat mat(frame.height, frame.width, CV_8UC1, const_cast<char*>(frame.pixels.constData()));
        const dlib::cv_image<unsigned char> image(mat);
        const std::vector<dlib::rectangle> faces = m_impl->detector(image);
        if (faces.empty()) {
            result.status = Result::Status::noFace;
            return result;
        }
        // The first face, the detector's most certain one.
        const dlib::rectangle* face = &faces.front();
        const dlib::full_object_detection shape = (*m_impl->predictor)(image, *face);
        if (shape.num_parts() != 68) return result;
        result.points.reserve(68);
        for (unsigned long i = 0; i < shape.num_parts(); ++i)
            result.points.emplace_back(double(shape.part(i).x()), double(shape.part(i).y()));
        result.status = Result::Status::face;
    } catch (const std::exception&) {
        result.status = Result::Status::failed;
        result.points.clear();
    }
    return result;
}
