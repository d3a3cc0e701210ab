#include "ui/dashboard/OverviewModel.h"

#include "core/CFormat.h"

namespace OverviewModel {

QString healthStatusText(int64_t score)
{
    if (score >= 90 && score <= 100) return QStringLiteral("Excellent");
    if (score >= 75 && score <= 89) return QStringLiteral("Good");
    if (score >= 50 && score <= 74) return QStringLiteral("Fair");
    if (score >= 25 && score <= 49) return QStringLiteral("Poor");
    return QStringLiteral("Critical");
}

NamedColor healthWordColor(int64_t score)
{
    // The word's bands (90, 75, 50, 25) and its colour's (80, 50) differ on purpose: "Good"
    // turns yellow below 80.
    if (score >= 80 && score <= 100) return NamedColor::green;
    if (score >= 50 && score <= 79) return NamedColor::yellow;
    return NamedColor::red;
}

double ringFraction(int64_t score)
{
    return double(score) / 100.0;
}

QList<ScoreBarRow> scoreBars(const HealthScore& health, const PaletteTheme& theme)
{
    return {
        {QStringLiteral("CPU"), health.cpuScore, theme.metricCPU},
        {QStringLiteral("Memory"), health.memoryScore, theme.metricMemory},
        {QStringLiteral("Disk"), health.diskScore, theme.metricDisk},
        {QStringLiteral("Thermal"), health.thermalScore, theme.metricThermal},
    };
}

double scoreBarFillWidth(double trackWidth, double score)
{
    return trackWidth * score / 100.0;
}

std::optional<QString> memoryLeakBannerText(qsizetype count)
{
    if (count <= 0) return std::nullopt;
    return QStringLiteral("%1 Memory Leak%2").arg(qint64(count)).arg(count >= 2 ? QStringLiteral("s") : QString());
}

std::optional<QString> diskFullBannerText(const std::optional<QDateTime>& date, const QLocale& locale)
{
    if (!date) return std::nullopt;
    return QStringLiteral("Disk full: ") + locale.toString(date->toLocalTime().date(), QLocale::ShortFormat);
}

namespace {

template <typename Point, typename Value>
QList<QPointF> newestPoints(const QList<Point>& history, Value value)
{
    QList<QPointF> points;
    const qsizetype first = std::max<qsizetype>(0, history.size() - chartPointLimit);
    points.reserve(history.size() - first);
    for (qsizetype i = first; i < history.size(); ++i)
        points.append(QPointF(double(history[i].timestamp.toMSecsSinceEpoch()), value(history[i])));
    return points;
}

}  // namespace

Chart cpuChart(const QList<CPUDataPoint>& history, const PerformanceSnapshot& snapshot, const PaletteTheme& theme)
{
    return Chart{
        .symbol = QStringLiteral("cpu"),
        .symbolTint = theme.accent,
        .title = QStringLiteral("CPU USAGE"),
        .titleColor = withOpacity(theme.accent, 0.8),
        .valueText = cformat("%.0f%%", snapshot.cpuUsage),
        .valueFontSize = 14,
        .metricColor = theme.metricCPU,
        .yLabel = QStringLiteral("CPU"),
        .points = newestPoints(history, [](const CPUDataPoint& p) { return p.usage; }),
    };
}

Chart memoryChart(const QList<MemoryDataPoint>& history, const PerformanceSnapshot& snapshot,
                  const PaletteTheme& theme)
{
    return Chart{
        .symbol = QStringLiteral("memorychip"),
        .symbolTint = theme.metricMemory,
        .title = QStringLiteral("MEMORY PRESSURE"),
        .titleColor = withOpacity(theme.metricMemory, 0.8),
        .valueText = cformat("%.1f / %.0f GB", snapshot.memoryUsed, snapshot.memoryTotal),
        .valueFontSize = 12,
        .metricColor = theme.metricMemory,
        .yLabel = QStringLiteral("Pressure"),
        .points = newestPoints(history, [](const MemoryDataPoint& p) { return p.pressure; }),
    };
}

}  // namespace OverviewModel
