#pragma once

#include "core/Lifecycle.h"

// Placeholder until the folder watchers land (start = startWatching, stop = stopWatching).
class TavrilonWatcher final : public Lifecycle {
public:
    static TavrilonWatcher& shared();
    void start() override {}
    void stop() override {}
};
