#pragma once

#include "platform/FrameSource.h"

#include <QPointF>

#include <vector>

// Finds the first face in a frame and its 68 landmark points (jaw 0-16, brows 17-26, nose
// 27-35, eyes 36-47, mouth 48-67), in pixels. One instance is used from one thread at a time.
class FaceLandmarker {
public:
    struct Result {
        enum class Status { face, noFace, failed };
        Status status = Status::failed;
        std::vector<QPointF> points;  // 68 points when status is face
    };
    virtual ~FaceLandmarker() = default;
    virtual Result locate(const GrayFrame& frame) = 0;
};
