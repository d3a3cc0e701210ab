#include "ui/shell/HUDReadout.h"

#include "core/AppSettings.h"
#include "ui/theme/PaletteTheme.h"

#include <cmath>

namespace HUDReadout {

namespace {
// Whole numbers the way the HUD truncates them; a reading that is not a number shows 0.
int truncated(double v)
{
    if (!std::isfinite(v)) return 0;
    return int(std::clamp(std::trunc(v), -1e9, 1e9));
}
}  // namespace

QString thermalName(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return QStringLiteral("Nominal");
    case ThermalLevel::fair: return QStringLiteral("Fair");
    case ThermalLevel::serious: return QStringLiteral("Serious");
    case ThermalLevel::critical: break;
    }
    return QStringLiteral("Critical");
}

QString thermalSymbol(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return QStringLiteral("thermometer.low");
    case ThermalLevel::fair: return QStringLiteral("thermometer.medium");
    case ThermalLevel::serious: return QStringLiteral("thermometer.high");
    case ThermalLevel::critical: break;
    }
    return QStringLiteral("thermometer.sun.fill");
}

Values compute(const PerformanceSnapshot& s, const HealthScore& health, const QList<CPUDataPoint>& history,
               bool isMonitoring, const LearnedInput& learned, const AppSettings& settings)
{
    Values v;
    v.cpuPercent = truncated(s.cpuUsage);
    v.memoryPercent = s.memoryTotal > 0 ? truncated(s.memoryUsed / s.memoryTotal * 100.0) : 0;
    v.health = int(std::clamp<int64_t>(health.score, 0, 100));
    const uint64_t used = std::min(s.diskUsed, s.diskTotal);
    const double freeGiB = double(s.diskTotal - used) / double(1ULL << 30);
    v.freeDisk = settings.formatStorageSize(freeGiB * 1e9, true);
    v.thermalName = thermalName(s.thermalState);
    v.thermalCaps = v.thermalName.toUpper();
    v.thermalSymbol = thermalSymbol(s.thermalState);
    v.temperature = s.cpuTempC ? settings.formatTemperature(s.cpuTempC, true) : v.thermalName;
    const qsizetype from = std::max<qsizetype>(0, history.size() - 40);
    for (qsizetype i = from; i < history.size(); ++i) v.trace << history[i].usage / 100.0;
    v.awaitingTelemetry = v.trace.size() < 2;
    v.monitoring = isMonitoring ? QStringLiteral("LIVE") : QStringLiteral("IDLE");
    v.learningPercent = truncated(std::clamp(learned.learningLevel, 0.0, 1.0) * 100.0);
    v.personality = learned.personality;
    v.baselines = learned.baselines;
    v.leaks = learned.leaks;
    v.anomalies = learned.anomalies;
    if (!learned.insights.isEmpty()) {
        v.topInsight = QStringLiteral("\u25B8 ") + learned.insights.first().title;
        v.topSeverity = learned.insights.first().severity;
    }
    return v;
}

QColor healthColor(int score, const PaletteTheme& palette)
{
    if (score >= 80) return palette.success;
    if (score >= 50) return palette.warning;
    return palette.danger;
}

double learningFillWidth(double trackWidth, double level)
{
    const double l = std::isfinite(level) ? std::clamp(level, 0.0, 1.0) : 0.0;
    return std::max(4.0, trackWidth * l);
}

double significanceThreshold(OutcomeMetric metric)
{
    switch (metric) {
    case OutcomeMetric::memFreedMB: return 150.0;
    case OutcomeMetric::memPressureDrop: return 8.0;
    case OutcomeMetric::tempDropC: return 1.5;
    case OutcomeMetric::diskFreedGB: return 0.25;
    case OutcomeMetric::cpuDrop: break;
    }
    return 5.0;
}

bool heroIsSignificant(const std::optional<MeasuredOutcome>& hero)
{
    if (!hero) return false;
    // A NaN compares false.
    return hero->delta >= significanceThreshold(hero->metric);
}

QString optimizeOutcome(const QStringList& texts)
{
    QStringList shown;
    for (const QString& t : texts)
        if (!t.isEmpty()) shown << t;
    return shown.join(QStringLiteral(" \u00B7 "));
}

}  // namespace HUDReadout
