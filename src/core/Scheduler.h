#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

// A scheduled piece of work; cancel() stops it before (further) firings. Dropping the handle
// does not cancel: work bound to a context object ends when that object is destroyed.
class ScheduledWork {
public:
    virtual ~ScheduledWork() = default;
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

using WorkHandle = std::shared_ptr<ScheduledWork>;

// Timers on the main loop. `context` bounds the work's lifetime and its thread.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual WorkHandle after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work) = 0;
    virtual WorkHandle every(std::chrono::milliseconds interval, QObject* context, std::function<void()> work) = 0;
};

// QTimer: Qt::CoarseTimer for repeating work of a second or more (within 5 % of its interval),
// Qt::PreciseTimer for the rest.
class QtScheduler final : public Scheduler {
public:
    WorkHandle after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work) override;
    WorkHandle every(std::chrono::milliseconds interval, QObject* context, std::function<void()> work) override;
};

// Seconds as a double, as settings hold intervals, to a timer duration.
std::chrono::milliseconds secondsToMs(double seconds);
