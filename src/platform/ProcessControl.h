#pragma once

#include "core/Result.h"

#include <cstdint>

// Changes to other processes. pid <= 1 and our own pid are always refused.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    // setpriority(PRIO_PROCESS, pid, 20); the kernel stores 19.
    virtual Status lowerPriority(int32_t pid) = 0;
    // SIGTERM now through a pidfd taken now; 3 s later SIGKILL through the same pidfd when the
    // process still runs, so a reused pid is never hit. Fails when the first signal fails.
    virtual Status terminate(int32_t pid) = 0;
};
