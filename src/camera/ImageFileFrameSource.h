#pragma once

#include "platform/FrameSource.h"

#include <QSize>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Frames read from image files, handed on in turn, round and round, one every `interval`
// seconds on the source's own thread, the way a camera delivers them. With a frame size set,
// each image is scaled to fit it and centred on black, as a camera of that size would show it.
class ImageFileFrameSource final : public FrameSource {
public:
    explicit ImageFileFrameSource(QStringList paths, double interval = 0.2, QSize frameSize = {});
    ~ImageFileFrameSource() override;

    OpenResult open() override;
    void start(FrameHandler handler) override;
    void stop() override;

    // The frames open() read, in order.
    const std::vector<GrayFrame>& frames() const { return m_frames; }

private:
    QStringList m_paths;
    double m_interval;
    QSize m_frameSize;
    std::vector<GrayFrame> m_frames;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
};
