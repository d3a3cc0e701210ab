#pragma once

#include "actions/MeasuredOutcome.h"
#include "core/Models.h"
#include "optimisation/AIInsight.h"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

class AppSettings;
struct PaletteTheme;

// What the desktop HUD shows, worked out from the published state apart from the widgets.
namespace HUDReadout {

// What the HUD reads of the learning engine.
struct LearnedInput {
    double learningLevel = 0;  // 0...1
    QString personality;
    int baselines = 0;
    int leaks = 0;
    int anomalies = 0;
    QList<AIInsight> insights;  // newest first
};

struct Values {
    int cpuPercent = 0;
    int memoryPercent = 0;
    int health = 0;
    QString freeDisk;
    QString temperature;  // the reading, or the thermal level's name without one
    QString thermalName;  // "Nominal" ...
    QString thermalCaps;  // "NOMINAL" ...
    QString thermalSymbol;
    QList<double> trace;  // the last 40 CPU points as fractions
    bool awaitingTelemetry = true;  // fewer than two points
    QString monitoring;  // "LIVE" / "IDLE"
    int learningPercent = 0;
    QString personality;
    int baselines = 0;
    int leaks = 0;
    int anomalies = 0;
    std::optional<QString> topInsight;  // "▸ " and the newest insight's title
    AIInsight::Severity topSeverity = AIInsight::Severity::info;
};

Values compute(const PerformanceSnapshot& snapshot, const HealthScore& health, const QList<CPUDataPoint>& history,
               bool isMonitoring, const LearnedInput& learned, const AppSettings& settings);

QString thermalName(ThermalLevel level);
QString thermalSymbol(ThermalLevel level);
// success from 80, warning from 50, danger below.
QColor healthColor(int score, const PaletteTheme& palette);
// The learning bar's fill: the track's width times the level, never narrower than 4.
double learningFillWidth(double trackWidth, double level);

// The threshold a metric's improvement must reach to count.
double significanceThreshold(OutcomeMetric metric);
// Whether an outcome is present and its delta reaches its metric's threshold (NaN never does).
bool heroIsSignificant(const std::optional<MeasuredOutcome>& hero);

// The line under "Optimize Now": the texts that are not empty, joined by " · ".
QString optimizeOutcome(const QStringList& texts);

}  // namespace HUDReadout
