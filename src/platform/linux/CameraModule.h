#pragma once

#include "platform/FaceLandmarker.h"
#include "platform/FrameSource.h"

#include <QString>
#include <QStringList>

#include <memory>

// The camera and face-landmark code lives in a library of its own (libveltranmoor-camera.so,
// with OpenCV and dlib behind it), loaded the first time the drowsiness watch starts: an
// application that never watches the camera never maps the two hundred libraries they pull in.
namespace CameraModule {

inline constexpr const char* fileName = "libveltranmoor-camera.so";

// Where the library is looked for, in order: $VELTRANMOOR_CAMERA_MODULE, beside the executable,
// ../lib/veltranmoor/ from the executable (an installed prefix), then the build tree.
QStringList candidates();

// The camera source, or a source whose open() fails naming why the library could not be loaded.
std::unique_ptr<FrameSource> makeCameraSource();
// The landmark finder; null with *error set when the library or the model cannot be loaded.
std::unique_ptr<FaceLandmarker> makeLandmarker(QString* error);

}  // namespace CameraModule
