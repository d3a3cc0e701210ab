#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

// One finding of the learning engine.
struct AIInsight {
    enum class InsightType {
        cpuAnomaly,
        memoryAnomaly,
        memoryLeak,
        diskPrediction,
        recommendation,
        pattern,
        bottleneck,
        thermalPrediction,
        workflow
    };
    enum class Severity { info, warning, critical };

    QUuid id = QUuid::createUuid();
    InsightType type = InsightType::recommendation;
    QString title;
    QString detail;
    Severity severity = Severity::info;
    QDateTime timestamp;
    bool actionable = false;
};
