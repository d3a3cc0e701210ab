#pragma once

#include "core/Lifecycle.h"

// Placeholder until this guard lands.
class WorkGuard final : public Lifecycle {
public:
    static WorkGuard& shared();
    void start() override {}
    void stop() override {}
};
