#pragma once

#include "core/Lifecycle.h"

// Placeholder until the shell lands (start = show).
class DesktopHUDController final : public Lifecycle {
public:
    static DesktopHUDController& shared();
    void start() override {}
};
