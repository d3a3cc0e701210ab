#pragma once

#include "core/Lifecycle.h"

// Placeholder until this monitor's sampling lands (start = startMonitoring, stop = cancel the battery timer).
class BatteryMonitor final : public Lifecycle {
public:
    static BatteryMonitor& shared();
    void start() override {}
    void stop() override {}
};
