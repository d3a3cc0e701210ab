#pragma once

#include "core/Lifecycle.h"

// Placeholder until the shell lands (start = start).
class LoginItemController final : public Lifecycle {
public:
    static LoginItemController& shared();
    void start() override {}
};
