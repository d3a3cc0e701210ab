#pragma once

#include "optimisation/ProactiveSweepService.h"

// The proactive optimizer. Its sweep does nothing until regrowth learning lands.
class ProactiveOptimizer final : public ProactiveSweepService {
public:
    static ProactiveOptimizer& shared();
    void runAutonomousSweep() override {}
};
