#pragma once

#include "core/Models.h"

// What other engines read of the sampling engine's published state, and the one way into the
// action history. Main thread only; other threads hop to the main thread first.
class MonitorState {
public:
    virtual ~MonitorState() = default;
    virtual PerformanceSnapshot currentSnapshot() const = 0;
    virtual HealthScore currentHealth() const = 0;
    virtual QList<ProcessInfoItem> topProcesses() const = 0;
    // Every running process with one of the watched names, busy or not, as the last sample saw
    // it (CPU share, memory, pid and start time): found in the sample's own walk of the table.
    virtual QList<ProcessInfoItem> watchedProcesses() const { return {}; }
    // Inserts at the front of the action history (newest first, at most 500).
    virtual void logAction(const ActionRecord& record) = 0;
};
