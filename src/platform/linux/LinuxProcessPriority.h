#pragma once

#include "platform/ProcessControl.h"

// Lowers a process's scheduling priority with setpriority(2).
class LinuxProcessPriority final : public ProcessControl {
public:
    Status lowerPriority(int32_t pid) override;
};
