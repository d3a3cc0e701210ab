#pragma once

#include "platform/FrameSource.h"

#include <opencv2/core.hpp>

#include <cstring>

// An 8-bit single-channel image as a frame with packed rows (OpenCV rows may be padded).
inline GrayFrame grayFrameFromMat(const cv::Mat& gray)
{
    GrayFrame frame;
    frame.width = gray.cols;
    frame.height = gray.rows;
    frame.pixels.resize(qsizetype(gray.cols) * gray.rows);
    for (int row = 0; row < gray.rows; ++row)
        std::memcpy(frame.pixels.data() + qsizetype(row) * gray.cols, gray.ptr(row), size_t(gray.cols));
    return frame;
}
