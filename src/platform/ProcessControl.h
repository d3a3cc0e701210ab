#pragma once

#include "core/Result.h"

#include <cstdint>
#include <memory>

// A process pinned at the moment it was opened: signals reach that process or nobody, even
// when its pid is later given to another one.
class ProcessHandle {
public:
    virtual ~ProcessHandle() = default;
    virtual int32_t pid() const = 0;
    virtual Status sendSignal(int signal) = 0;
    // False once the process has exited (also while it waits to be reaped).
    virtual bool isRunning() const = 0;
};

// Changes to other processes. pid <= 1 and our own pid are always refused.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    // setpriority(PRIO_PROCESS, pid, 20); the kernel stores 19.
    virtual Status lowerPriority(int32_t pid) = 0;
    virtual Result<std::shared_ptr<ProcessHandle>> openProcess(int32_t pid) = 0;
};
