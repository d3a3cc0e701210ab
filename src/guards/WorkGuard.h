#pragma once

#include "core/Lifecycle.h"
#include "core/Paths.h"
#include "guards/WorkGuardStatus.h"

// Placeholder until this guard lands: it has swept nothing and holds no snapshot.
class WorkGuard final : public Lifecycle, public WorkGuardStatus {
public:
    static WorkGuard& shared();
    void start() override {}
    void stop() override {}

    int64_t totalSnapshots() const override { return 0; }
    std::optional<QDateTime> lastSweepAt() const override { return std::nullopt; }
    std::optional<QString> lastTrigger() const override { return std::nullopt; }
    QList<RankedFile> lastRanked() const override { return {}; }
    QString snapshotsRoot() const override { return Paths::appSupportDir() + QStringLiteral("/Snapshots"); }
};
