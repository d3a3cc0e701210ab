#include "camera/V4l2FrameSource.h"

#include "camera/GrayFrameFromMat.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

struct V4l2FrameSource::Capture {
    cv::VideoCapture capture;
};

namespace {

// Whether the node can capture video (cameras also expose metadata-only nodes).
bool capturesVideo(int fd)
{
    v4l2_capability caps{};
    if (ioctl(fd, VIDIOC_QUERYCAP, &caps) != 0) return false;
    const quint32 c = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    return (c & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) && (c & V4L2_CAP_STREAMING);
}

int nodeNumber(const QString& name)
{
    bool ok = false;
    const int n = name.mid(5).toInt(&ok);
    return ok ? n : -1;
}

}  // namespace

V4l2FrameSource::V4l2FrameSource(QString deviceDir, double minInterval)
    : m_deviceDir(std::move(deviceDir)), m_minInterval(minInterval)
{
}

V4l2FrameSource::~V4l2FrameSource()
{
    stop();
}

FrameSource::OpenResult V4l2FrameSource::open()
{
    OpenResult result;
    QStringList nodes = QDir(m_deviceDir).entryList({QStringLiteral("video*")}, QDir::System | QDir::Files);
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(), [](const QString& n) { return nodeNumber(n) < 0; }),
                nodes.end());
    std::sort(nodes.begin(), nodes.end(), [](const QString& a, const QString& b) { return nodeNumber(a) < nodeNumber(b); });

    bool refused = false;
    for (const QString& node : nodes) {
        const QString path = m_deviceDir + QLatin1Char('/') + node;
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == EACCES || errno == EPERM) refused = true;
            continue;
        }
        const bool camera = capturesVideo(fd);
        ::close(fd);
        if (!camera) continue;

        auto capture = std::make_unique<Capture>();
        if (!capture->capture.open(path.toStdString(), cv::CAP_V4L2) || !capture->capture.isOpened()) {
            result.error = QStringLiteral("Cannot open the camera ") + path;
            return result;
        }
        capture->capture.set(cv::CAP_PROP_FRAME_WIDTH, 640);
        capture->capture.set(cv::CAP_PROP_FRAME_HEIGHT, 480);
        m_capture = std::move(capture);
        m_devicePath = path;
        result.ok = true;
        return result;
    }
    if (refused)
        result.permissionDenied = true;
    else
        result.error = noCameraError();
    return result;
}

void V4l2FrameSource::start(FrameHandler handler)
{
    if (!m_capture || m_thread.joinable()) return;
    m_stopping = false;
    m_thread = std::thread([this, handler = std::move(handler)] {
        using clock = std::chrono::steady_clock;
        const auto interval = std::chrono::duration<double>(m_minInterval);
        clock::time_point last{};
        bool delivered = false;
        cv::Mat image;
        cv::Mat gray;
        while (!m_stopping) {
            if (!m_capture->capture.grab()) {
                // Unplugged or failing: try again shortly rather than spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                continue;
            }
            const auto now = clock::now();
            if (delivered && now - last < interval) continue;
            if (!m_capture->capture.retrieve(image) || image.empty()) continue;
            if (image.channels() == 1)
                gray = image;
            else
                cv::cvtColor(image, gray, image.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
            GrayFrame frame = grayFrameFromMat(gray);
            last = now;
            delivered = true;
            handler(std::move(frame));
        }
    });
}

void V4l2FrameSource::stop()
{
    m_stopping = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_capture) m_capture->capture.release();
    m_capture.reset();
}
