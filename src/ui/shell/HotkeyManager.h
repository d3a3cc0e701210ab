#pragma once

#include "core/Lifecycle.h"

// Placeholder until the shell lands (start = start).
class HotkeyManager final : public Lifecycle {
public:
    static HotkeyManager& shared();
    void start() override {}
};
