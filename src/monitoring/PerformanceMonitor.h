#pragma once

#include "core/Lifecycle.h"

// Placeholder until this monitor's sampling lands (start = startMonitoring, stop = stopMonitoring).
class PerformanceMonitor final : public Lifecycle {
public:
    static PerformanceMonitor& shared();
    void start() override {}
    void stop() override {}
};
