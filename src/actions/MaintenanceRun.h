#pragma once

#include "actions/MaintenanceStep.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QList>

#include <cstdint>

// One AutoPilot run, newest first in "autopilot_history.json".
struct MaintenanceRun {
    enum class RunTrigger { scheduled, manual };
    static QString rawValue(RunTrigger trigger);
    static std::optional<RunTrigger> triggerFromRaw(const QString& raw);

    QUuid id = QUuid::createUuid();
    QDateTime startedAt;
    QDateTime finishedAt;
    RunTrigger trigger = RunTrigger::manual;
    QList<MaintenanceStep> steps;
    uint64_t bytesFreed = 0;
    int64_t finalHealthScore = 0;

    QJsonObject toJson() const;
    static std::optional<MaintenanceRun> fromJson(const QJsonObject& object);

    // The history file: one damaged run makes the whole file unreadable (nullopt).
    static QJsonArray encodeHistory(const QList<MaintenanceRun>& runs);
    static std::optional<QList<MaintenanceRun>> decodeHistory(const QJsonDocument& document);

    friend bool operator==(const MaintenanceRun& a, const MaintenanceRun& b) { return a.id == b.id; }
};

using RunTrigger = MaintenanceRun::RunTrigger;
