#include "camera/ImageFileFrameSource.h"

#include "camera/GrayFrameFromMat.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

cv::Mat fitInto(const cv::Mat& image, QSize size)
{
    const double scale = std::min(double(size.width()) / image.cols, double(size.height()) / image.rows);
    cv::Mat scaled;
    cv::resize(image, scaled, cv::Size(), scale, scale, scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    scaled = scaled(cv::Rect(0, 0, std::min(scaled.cols, size.width()), std::min(scaled.rows, size.height())));
    cv::Mat canvas(size.height(), size.width(), CV_8UC1, cv::Scalar(0));
    scaled.copyTo(canvas(cv::Rect((size.width() - scaled.cols) / 2, (size.height() - scaled.rows) / 2, scaled.cols, scaled.rows)));
    return canvas;
}

}  // namespace

ImageFileFrameSource::ImageFileFrameSource(QStringList paths, double interval, QSize frameSize)
    : m_paths(std::move(paths)), m_interval(interval), m_frameSize(frameSize)
{
}

ImageFileFrameSource::~ImageFileFrameSource()
{
    stop();
}

FrameSource::OpenResult ImageFileFrameSource::open()
{
    OpenResult result;
    m_frames.clear();
    if (m_paths.isEmpty()) {
        result.error = QStringLiteral("No camera");
        return result;
    }
    for (const QString& path : m_paths) {
        const cv::Mat gray = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_GRAYSCALE);
        if (gray.empty()) {
            m_frames.clear();
            result.error = QStringLiteral("Cannot read the image ") + path;
            return result;
        }
        m_frames.push_back(grayFrameFromMat(m_frameSize.isValid() ? fitInto(gray, m_frameSize) : gray));
    }
    result.ok = true;
    return result;
}

void ImageFileFrameSource::start(FrameHandler handler)
{
    if (m_frames.empty() || m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    m_thread = std::thread([this, handler = std::move(handler)] {
        const auto interval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(m_interval));
        auto next = std::chrono::steady_clock::now();
        for (size_t i = 0;; i = (i + 1) % m_frames.size()) {
            {
                std::unique_lock lock(m_mutex);
                if (m_wake.wait_until(lock, next, [this] { return m_stopping; })) return;
            }
            handler(m_frames[i]);
            next += interval;
        }
    });
}

void ImageFileFrameSource::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}
