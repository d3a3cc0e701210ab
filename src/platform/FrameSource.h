#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// One camera or image frame as 8-bit grey levels, rows packed without padding.
struct GrayFrame {
    int width = 0;
    int height = 0;
    QByteArray pixels;  // width * height bytes
};

// Where the drowsiness detector's frames come from: the camera, or image files in the tests
// and the benchmark. open() and start() are called on the detector's video thread; frames are
// handed to the handler on the source's own thread until stop() returns.
class FrameSource {
public:
    struct OpenResult {
        bool ok = false;
        bool permissionDenied = false;  // a device exists but we may not open it
        QString error;                  // why it failed, when neither ok nor permissionDenied
    };
    using FrameHandler = std::function<void(GrayFrame frame)>;
    // The error of an open() that found no camera at all.
    static QString noCameraError() { return QStringLiteral("No camera"); }

    virtual ~FrameSource() = default;
    virtual OpenResult open() = 0;
    virtual void start(FrameHandler handler) = 0;
    // Ends delivery and releases the device; no handler call runs after it returns.
    virtual void stop() = 0;
};
