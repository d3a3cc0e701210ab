#pragma once

#include "core/Lifecycle.h"

// Placeholder until scheduled maintenance lands (start = start, stop = cancel the tick timer).
class AutoPilot final : public Lifecycle {
public:
    static AutoPilot& shared();
    void start() override {}
    void stop() override {}
};
