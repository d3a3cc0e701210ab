#pragma once

#include "core/Lifecycle.h"

// Placeholder until this client lands; start applies nothing yet.
class VRAXClient final : public Lifecycle {
public:
    static VRAXClient& shared();
    void start() override {}
};
