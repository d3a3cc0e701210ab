#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

// One finding of the learning engine. Two insights are the same insight when their ids are.
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
    using InsightSeverity = Severity;

    static QString rawValue(InsightType type);
    static QString rawValue(Severity severity);
    // Exact, case-sensitive match of the raw value.
    static std::optional<InsightType> typeFromRaw(const QString& raw);
    static std::optional<Severity> severityFromRaw(const QString& raw);

    QUuid id = QUuid::createUuid();
    InsightType type = InsightType::recommendation;
    QString title;
    QString detail;
    Severity severity = Severity::info;
    QDateTime timestamp;
    bool actionable = false;

    friend bool operator==(const AIInsight& a, const AIInsight& b) { return a.id == b.id; }
};
