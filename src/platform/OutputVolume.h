#pragma once

#include <QList>

#include <functional>
#include <optional>

// The system's output volume, one level in percent per channel of the default output.
class OutputVolume {
public:
    using Levels = QList<int>;
    virtual ~OutputVolume() = default;
    // `done` runs later on the calling (main) thread: the levels, or nothing when they could
    // not be read (no sound server, no tool).
    virtual void read(std::function<void(std::optional<Levels>)> done) = 0;
    // One level sets every channel; otherwise one level per channel, as read.
    virtual void set(const Levels& levels) = 0;
};
