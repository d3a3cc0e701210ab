#pragma once

#include "core/Result.h"

struct ProcessInfoItem;

// Stopping a process on the user's request: SIGTERM now, SIGKILL 3 s later when it is still
// there, one incident counted for its name. Protected processes are refused.
class ProcessStopper {
public:
    virtual ~ProcessStopper() = default;
    virtual Status killProcess(const ProcessInfoItem& item) = 0;
};
