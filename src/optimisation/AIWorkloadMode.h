#pragma once

#include "core/Lifecycle.h"

// AI workload mode; started from the launch task. Inactive until its checks land.
class AIWorkloadMode final : public Lifecycle {
public:
    static AIWorkloadMode& shared();
    void start() override {}
};
