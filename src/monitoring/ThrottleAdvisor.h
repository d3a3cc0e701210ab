#pragma once

#include "core/Models.h"

#include <QString>

struct ThrottleVerdict {
    QString reason;
    bool leaveAlone = false;
};

// What the sampling engine asks of the learning engine (main thread): every sample goes in,
// and each sustained runaway gets a verdict before it is throttled.
class ThrottleAdvisor {
public:
    virtual ~ThrottleAdvisor() = default;
    // Returns at once; the learner copies what it needs.
    virtual void submitSnapshot(const PerformanceSnapshot& snapshot, const QList<ProcessInfoItem>& processes) = 0;
    virtual ThrottleVerdict judgeProcessCPU(const ProcessInfoItem& process) = 0;
    // A throttle the verdict allowed has taken effect: the learner checks later whether it
    // lowered the process's CPU use. Not called for a throttle that failed.
    virtual void throttleSucceeded(const ProcessInfoItem& process) = 0;
};
