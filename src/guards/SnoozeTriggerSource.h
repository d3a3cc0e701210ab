#pragma once

#include <QDateTime>
#include <functional>
#include <optional>

// Snooze Guard's published time of its last alert: absent until it first fires, and never
// absent again after that.
class SnoozeTriggerSource {
public:
    using Observer = std::function<void(const std::optional<QDateTime>&)>;

    virtual ~SnoozeTriggerSource() = default;
    virtual std::optional<QDateTime> lastTriggerAt() const = 0;
    // Calls `observer` on the main thread with the current value at once and then with every
    // new one, until unobserve is called with the returned token.
    virtual int observeLastTriggerAt(Observer observer) = 0;
    virtual void unobserve(int token) = 0;
};
