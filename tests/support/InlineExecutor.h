#pragma once

#include "core/Executor.h"

// Runs background work at once on the caller's thread, so a test sees each reading complete
// before the next step (the main-thread publication still goes through the event queue).
class InlineExecutor final : public Executor {
public:
    void async(std::function<void()> work) override { work(); }
};
