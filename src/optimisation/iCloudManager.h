#pragma once

#include "core/Lifecycle.h"

// Cloud-sync daemon throttling: start = startMonitoring, stop = cancel the monitor timer.
// Watches nothing until the sync-client watch lands.
class iCloudManager final : public Lifecycle {
public:
    static iCloudManager& shared();
    void start() override {}
    void stop() override {}
};
