#pragma once

#include "core/Models.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/theme/PaletteTheme.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QPointF>
#include <QString>
#include <optional>

// What the Overview tab shows, from the managers' published state: the health ring and its
// word, the part-score bars, the warnings and the two history charts.
namespace OverviewModel {

// The charts plot this many of the newest points, however long the history is.
inline constexpr qsizetype chartPointLimit = 60;

QString healthStatusText(int64_t score);
NamedColor healthWordColor(int64_t score);
// How much of the ring the arc covers: score / 100, not clamped (the painter clamps).
double ringFraction(int64_t score);

struct ScoreBarRow {
    QString label;
    int64_t score = 0;
    QColor color;
};
QList<ScoreBarRow> scoreBars(const HealthScore& health, const PaletteTheme& theme);
// The width of a bar's fill: not clamped, so a score above 100 overshoots the track.
double scoreBarFillWidth(double trackWidth, double score);

// "1 Memory Leak", "3 Memory Leaks"; none for no leaks.
std::optional<QString> memoryLeakBannerText(qsizetype count);
// "Disk full: " and the date in the locale's short date form; none without a forecast.
std::optional<QString> diskFullBannerText(const std::optional<QDateTime>& date, const QLocale& locale = QLocale());

struct Chart {
    QString symbol;
    QColor symbolTint;
    QString title;
    QColor titleColor;
    QString valueText;
    qreal valueFontSize = 14;
    QColor metricColor;
    QString yLabel;
    // x: milliseconds since the epoch, y: percent; oldest first, at most chartPointLimit.
    QList<QPointF> points;
    // Fewer than two points: "Collecting data..." instead of the chart.
    bool showsChart() const { return points.size() >= 2; }
};
Chart cpuChart(const QList<CPUDataPoint>& history, const PerformanceSnapshot& snapshot, const PaletteTheme& theme);
Chart memoryChart(const QList<MemoryDataPoint>& history, const PerformanceSnapshot& snapshot,
                  const PaletteTheme& theme);

inline const QString collectingText = QStringLiteral("Collecting data...");

}  // namespace OverviewModel
