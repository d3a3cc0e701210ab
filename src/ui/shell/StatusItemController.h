#pragma once

#include "core/Lifecycle.h"

// Placeholder until the shell lands (start = install).
class StatusItemController final : public Lifecycle {
public:
    static StatusItemController& shared();
    void start() override {}
};
