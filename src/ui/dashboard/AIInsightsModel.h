#pragma once

#include "optimisation/AIInsight.h"
#include "optimisation/MemoryLeak.h"
#include "ui/dashboard/NamedColor.h"

#include <QColor>
#include <QList>
#include <QString>

class AIEngine;

// What the AI Insights tab shows, from the learning engine's published state.
namespace AIInsightsModel {

// The learning engine's three counters, read from its published state. The dashboard's engine
// card and the HUD both show them from here, so the two never disagree.
struct Counts {
    int baselines = 0;
    int anomalies = 0;
    int leaks = 0;
};
Counts counts(const AIEngine& engine);
// The word after each count: "1 baseline", "2 baselines"; "1 leak"; "1 anomaly", "0 anomalies".
QString baselineWord(qint64 n);
QString leakWord(qint64 n);
QString anomalyWord(qint64 n);

struct Stat {
    QString text;
    QString symbol;
    NamedColor color;
};
// "3 baselines", "0 anomalies", "1 leak".
QList<Stat> decisionEngineStats(const Counts& counts);

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
