#pragma once

#include "core/Lifecycle.h"

// Placeholder until this client lands; start applies nothing yet.
class TavrilonFleetClient final : public Lifecycle {
public:
    static TavrilonFleetClient& shared();
    void start() override {}
};
