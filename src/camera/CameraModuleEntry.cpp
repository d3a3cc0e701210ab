// The entry points the application looks up after loading this library at the first camera
// start (platform/linux/CameraModule). The library and the application are built together from
// one tree, so the objects it hands over are ordinary C++ objects of the shared interfaces.
#include "camera/DlibFaceLandmarker.h"
#include "camera/V4l2FrameSource.h"

extern "C" {

__attribute__((visibility("default"))) FrameSource* veltranmoor_camera_make_source()
{
    return new V4l2FrameSource();
}

__attribute__((visibility("default"))) FaceLandmarker* veltranmoor_camera_make_landmarker(QString* error)
{
    return DlibFaceLandmarker::create(DlibFaceLandmarker::defaultModelPath(), error).release();
}

}  // extern "C"
