#pragma once

#include <functional>
#include <memory>

// The system's notice that it is about to sleep. While the application listens it holds a
// delay on sleep; each notice hands that delay to the listener, and the system sleeps once
// the listener drops it (or the system's own limit passes). After the wake a new delay is
// taken for the next sleep.
class SleepWatch {
public:
    using Delay = std::shared_ptr<void>;

    virtual ~SleepWatch() = default;
    // `willSleep` is called on the main thread.
    virtual void start(std::function<void(Delay)> willSleep) = 0;
    // Stops listening and lets go of any delay still held here.
    virtual void stop() = 0;
};
