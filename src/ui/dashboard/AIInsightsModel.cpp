#include "ui/dashboard/AIInsightsModel.h"

#include "core/CFormat.h"
#include "optimisation/AIEngine.h"

namespace AIInsightsModel {

Counts counts(const AIEngine& engine)
{
    return {.baselines = engine.processBaselineCount(),
            .anomalies = engine.anomalyCount(),
            .leaks = int(engine.detectedLeaks().size())};
}

QString baselineWord(qint64 n) { return n == 1 ? QStringLiteral("baseline") : QStringLiteral("baselines"); }
QString leakWord(qint64 n) { return n == 1 ? QStringLiteral("leak") : QStringLiteral("leaks"); }
QString anomalyWord(qint64 n) { return n == 1 ? QStringLiteral("anomaly") : QStringLiteral("anomalies"); }

QList<Stat> decisionEngineStats(const Counts& c)
{
    const auto text = [](qint64 n, const QString& word) { return cformat("%lld", n) + QLatin1Char(' ') + word; };
    return {
        {text(c.baselines, baselineWord(c.baselines)), QStringLiteral("chart.bar.fill"), NamedColor::gray},
        {text(c.anomalies, anomalyWord(c.anomalies)), QStringLiteral("exclamationmark.triangle"),
         c.anomalies > 0 ? NamedColor::orange : NamedColor::gray},
        {text(c.leaks, leakWord(c.leaks)), QStringLiteral("drop.triangle.fill"),
         c.leaks != 0 ? NamedColor::red : NamedColor::gray},
    };
}

QString leakLine(const MemoryLeak& leak)
{
    return QStringLiteral("PID ") + cformat("%d", leak.pid) + QStringLiteral(" | ") +
           cformat("%.0f", leak.startMemoryMB) + QStringLiteral(" MB \u2192 ") +
           cformat("%.0f", leak.currentMemoryMB) + QStringLiteral(" MB | +") +
           cformat("%.0f", leak.growthRateMBPerHour) + QStringLiteral(" MB/hr");
}

QString confidenceText(double confidence) { return cformat("%.0f", confidence * 100) + QStringLiteral("%"); }

Style typeStyle(AIInsight::InsightType type)
{
    using T = AIInsight::InsightType;
    switch (type) {
    case T::cpuAnomaly: return {QStringLiteral("cpu"), namedColor(NamedColor::orange)};
    case T::memoryAnomaly: return {QStringLiteral("memorychip"), namedColor(NamedColor::purple)};
    case T::memoryLeak: return {QStringLiteral("drop.triangle.fill"), namedColor(NamedColor::red)};
    case T::diskPrediction: return {QStringLiteral("chart.line.uptrend.xyaxis"), namedColor(NamedColor::blue)};
    case T::recommendation: return {QStringLiteral("lightbulb.fill"), QColor(0xd4, 0xa8, 0x43)};
    case T::pattern: return {QStringLiteral("waveform.path.ecg"), namedColor(NamedColor::cyan)};
    case T::bottleneck: return {QStringLiteral("gauge.with.dots.needle.67percent"), namedColor(NamedColor::yellow)};
    case T::thermalPrediction: return {QStringLiteral("thermometer.sun.fill"), namedColor(NamedColor::red)};
    case T::workflow: return {QStringLiteral("rectangle.3.group.fill"), namedColor(NamedColor::mint)};
    }
    return {};
}

Style severityStyle(AIInsight::Severity severity)
{
    using S = AIInsight::Severity;
    switch (severity) {
    case S::info: return {QStringLiteral("info.circle.fill"), namedColor(NamedColor::blue)};
    case S::warning: return {QStringLiteral("exclamationmark.triangle.fill"), namedColor(NamedColor::orange)};
    case S::critical: return {QStringLiteral("xmark.octagon.fill"), namedColor(NamedColor::red)};
    }
    return {};
}

QString relativeTime(const QDateTime& then, const QDateTime& now)
{
    const qint64 seconds = std::max<qint64>(0, then.secsTo(now));
    auto unit = [](qint64 n, const char* name) { return QString::number(n) + QLatin1Char(' ') + QLatin1String(name); };
    auto pair = [&](qint64 big, const char* bigName, qint64 small, const char* smallName) {
        return small == 0 ? unit(big, bigName) : unit(big, bigName) + QStringLiteral(", ") + unit(small, smallName);
    };
    if (seconds < 60) return unit(seconds, "sec");
    if (seconds < 3600) return pair(seconds / 60, "min", seconds % 60, "sec");
    if (seconds < 86400) return pair(seconds / 3600, "hr", seconds % 3600 / 60, "min");
    const qint64 days = seconds / 86400;
    return pair(days, days == 1 ? "day" : "days", seconds % 86400 / 3600, "hr");
}

}  // namespace AIInsightsModel
