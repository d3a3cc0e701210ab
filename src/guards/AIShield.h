#pragma once

#include "core/Lifecycle.h"

// Placeholder until this guard lands.
class AIShield final : public Lifecycle {
public:
    static AIShield& shared();
    void start() override {}
    void stop() override {}
};
