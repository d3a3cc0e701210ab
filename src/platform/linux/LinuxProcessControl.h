#pragma once

#include "platform/ProcessControl.h"

#include <optional>

// pidfd_open, a start-time check through /proc, then pidfd_send_signal for signals and
// setpriority (checked again afterwards) for priorities.
class LinuxProcessControl final : public ProcessControl {
public:
    ProcessStatus lowerPriority(ProcessIdentity process, ProcessOwner owner) override;
    OpenedProcess openProcess(ProcessIdentity process, ProcessOwner owner) override;

    // pid <= 1 (the init process, or "every process" to kill()) and this process itself.
    static bool isRefused(int32_t pid);
    // The process holding `pid` now; nothing when there is none.
    static std::optional<ProcessIdentity> identityOf(int32_t pid);
};
