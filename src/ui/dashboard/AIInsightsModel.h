#pragma once

#include "optimisation/AIInsight.h"
#include "optimisation/MemoryLeak.h"
#include "ui/dashboard/NamedColor.h"

#include <QColor>
#include <QList>
#include <QString>

// What the AI Insights tab shows, from the learning engine's published state.
namespace AIInsightsModel {

struct Stat {
    QString text;
    QString symbol;
    NamedColor color;
};
// "N baselines", "N anomalies", "N leaks" (never singular).
QList<Stat> decisionEngineStats(qsizetype baselines, qsizetype anomalies, qsizetype leaks);

// "PID 812 | 420 MB → 960 MB | +75 MB/hr"
QString leakLine(const MemoryLeak& leak);
// "87%"
QString confidenceText(double confidence);

struct Style {
    QString symbol;
    QColor color;
};
Style typeStyle(AIInsight::InsightType type);
Style severityStyle(AIInsight::Severity severity);

// The time since `then`, counting up: "12 sec", "3 min, 5 sec", "2 hr, 1 min", "4 days, 2 hr".
QString relativeTime(const QDateTime& then, const QDateTime& now);

inline const QString title = QStringLiteral("AI DECISION ENGINE");
inline const QString leaksTitle = QStringLiteral("MEMORY LEAKS DETECTED");
inline const QString insightsTitle = QStringLiteral("AI INSIGHTS");
inline const QString emptyTitle = QStringLiteral("AI is learning your patterns...");
inline const QString emptyDetail = QStringLiteral("Insights will appear as Veltranmoor learns your typical usage.");

}  // namespace AIInsightsModel
