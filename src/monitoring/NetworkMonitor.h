#pragma once

#include "core/Lifecycle.h"

// Placeholder until this monitor's sampling lands (start = startMonitoring, stop = stopMonitoring).
class NetworkMonitor final : public Lifecycle {
public:
    static NetworkMonitor& shared();
    void start() override {}
    void stop() override {}
};
