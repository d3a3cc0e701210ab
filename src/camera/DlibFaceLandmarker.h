#pragma once

#include "platform/FaceLandmarker.h"

#include <QString>

#include <memory>

// The frontal face detector and the 68-point shape predictor shipped in libdlib-data. The
// predictor (about 100 MB) is read once per process and shared by every instance alive; each
// instance has its own face detector, which may not be used by two threads at once.
class DlibFaceLandmarker final : public FaceLandmarker {
public:
    static QString defaultModelPath();  // /usr/share/dlib/shape_predictor_68_face_landmarks.dat

    // Slow on first use (reads the model): never call it on the main thread. Null with
    // *error set when the model cannot be read.
    static std::unique_ptr<DlibFaceLandmarker> create(const QString& modelPath, QString* error);

    ~DlibFaceLandmarker() override;
    Result locate(const GrayFrame& frame) override;

private:
    struct Impl;
    explicit DlibFaceLandmarker(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};
