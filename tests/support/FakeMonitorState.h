#pragma once

#include "monitoring/MonitorState.h"

// Published monitor state that a test scripts by hand.
class FakeMonitorState final : public MonitorState {
public:
    PerformanceSnapshot snapshot;
    HealthScore health;
    QList<ProcessInfoItem> processes;
    QList<ProcessInfoItem> watched;
    QList<ActionRecord> actions;  // newest first

    PerformanceSnapshot currentSnapshot() const override { return snapshot; }
    HealthScore currentHealth() const override { return health; }
    QList<ProcessInfoItem> topProcesses() const override { return processes; }
    QList<ProcessInfoItem> watchedProcesses() const override { return watched; }
    void logAction(const ActionRecord& record) override { actions.prepend(record); }
};
