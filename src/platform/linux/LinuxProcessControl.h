#pragma once

#include "platform/ProcessControl.h"

// setpriority for priorities; pidfd_open and pidfd_send_signal for signals.
class LinuxProcessControl final : public ProcessControl {
public:
    Status lowerPriority(int32_t pid) override;
    Result<std::shared_ptr<ProcessHandle>> openProcess(int32_t pid) override;

    // pid <= 1 (the init process, or "every process" to kill()) and this process itself.
    static bool isRefused(int32_t pid);
};
