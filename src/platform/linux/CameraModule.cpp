#include "platform/linux/CameraModule.h"

#include <QFileInfo>
#include <QLibrary>

#include <mutex>

namespace CameraModule {
namespace {

using MakeSource = FrameSource* (*)();
using MakeLandmarker = FaceLandmarker* (*)(QString*);

struct Loaded {
    MakeSource makeSource = nullptr;
    MakeLandmarker makeLandmarker = nullptr;
    QString error;
};

// Loaded once per process and never unloaded: objects made by it may outlive any caller.
const Loaded& loaded()
{
    static Loaded result;
    static std::once_flag once;
    std::call_once(once, [] {
        QStringList tried;
        for (const QString& path : candidates()) {
            if (!QFileInfo::exists(path)) {
                tried << path;
                continue;
            }
            QLibrary library(path);
            library.setLoadHints(QLibrary::PreventUnloadHint);
            if (!library.load()) {
                result.error = QStringLiteral("Camera module could not be loaded: ") + library.errorString();
                return;
            }
            result.makeSource = reinterpret_cast<MakeSource>(library.resolve("veltranmoor_camera_make_source"));
            result.makeLandmarker = reinterpret_cast<MakeLandmarker>(library.resolve("veltranmoor_camera_make_landmarker"));
            if (!result.makeSource || !result.makeLandmarker) {
                result.makeSource = nullptr;
                result.makeLandmarker = nullptr;
                result.error = QStringLiteral("Camera module ") + path + QStringLiteral(" lacks its entry points");
            }
            return;
        }
        result.error = QStringLiteral("Camera module not found (looked for ") + tried.join(QStringLiteral(", ")) +
                       QStringLiteral(")");
    });
    return result;
}

class UnavailableSource final : public FrameSource {
public:
    explicit UnavailableSource(QString error) : m_error(std::move(error)) {}
    OpenResult open() override { return {.ok = false, .permissionDenied = false, .error = m_error}; }
    void start(FrameHandler) override {}
    void stop() override {}

private:
    QString m_error;
};

}  // namespace

QStringList candidates()
{
    QStringList paths;
    const QByteArray override = qgetenv("VELTRANMOOR_CAMERA_MODULE");
    if (!override.isEmpty()) return {QString::fromLocal8Bit(override)};
    const QString exeDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    if (!exeDir.isEmpty()) {
        paths << exeDir + QLatin1Char('/') + QLatin1String(fileName)
              << exeDir + QStringLiteral("/../lib/veltranmoor/") + QLatin1String(fileName);
    }
#ifdef VELTRANMOOR_CAMERA_MODULE_BUILD_PATH
    paths << QStringLiteral(VELTRANMOOR_CAMERA_MODULE_BUILD_PATH);
#endif
    return paths;
}

std::unique_ptr<FrameSource> makeCameraSource()
{
    const Loaded& l = loaded();
    if (!l.makeSource) return std::make_unique<UnavailableSource>(l.error);
    return std::unique_ptr<FrameSource>(l.makeSource());
}

std::unique_ptr<FaceLandmarker> makeLandmarker(QString* error)
{
    const Loaded& l = loaded();
    if (!l.makeLandmarker) {
        if (error) *error = l.error;
        return nullptr;
    }
    return std::unique_ptr<FaceLandmarker>(l.makeLandmarker(error));
}

}  // namespace CameraModule
