#pragma once

#include "core/Lifecycle.h"

// Placeholder until the temperature readers land; started from the launch task.
class GPUMonitor final : public Lifecycle {
public:
    static GPUMonitor& shared();
    void start() override {}
};
