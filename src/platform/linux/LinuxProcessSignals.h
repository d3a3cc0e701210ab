#pragma once

#include "platform/ProcessControl.h"

#include <chrono>

// Priority and signals for other processes through setpriority and pidfds.
class LinuxProcessSignals final : public ProcessControl {
public:
    explicit LinuxProcessSignals(std::chrono::milliseconds killDelay = std::chrono::seconds(3));
    ~LinuxProcessSignals() override;

    Status lowerPriority(int32_t pid) override;
    Status terminate(int32_t pid) override;

private:
    std::chrono::milliseconds m_killDelay;
};
