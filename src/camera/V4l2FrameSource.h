#pragma once

#include "platform/FrameSource.h"

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

// The first video-capture device under /dev (video0, video1, ... in number order), read with
// OpenCV's V4L2 backend at 640x480 when the device accepts it, on the source's own thread.
// Frames are handed on at most one per `minInterval` seconds: the frames between are grabbed
// and dropped undecoded, so the face search runs at the evaluation rate, not the camera's.
class V4l2FrameSource final : public FrameSource {
public:
    explicit V4l2FrameSource(QString deviceDir = QStringLiteral("/dev"), double minInterval = 0.2);
    ~V4l2FrameSource() override;

    OpenResult open() override;
    void start(FrameHandler handler) override;
    void stop() override;

    // The device open() chose, empty before.
    QString devicePath() const { return m_devicePath; }

private:
    struct Capture;
    QString m_deviceDir;
    double m_minInterval;
    QString m_devicePath;
    std::unique_ptr<Capture> m_capture;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
};
