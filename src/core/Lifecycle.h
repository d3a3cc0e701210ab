#pragma once

// A component the application starts once at launch and, where it has anything to stop,
// stops at shutdown. Each class maps these onto its own operations (startMonitoring,
// startWatching, install, show ...).
class Lifecycle {
public:
    virtual ~Lifecycle() = default;
    virtual void start() = 0;
    virtual void stop() {}
};
