#include "actions/MeasuredOutcome.h"

#include "core/AppSettings.h"
#include "core/CFormat.h"
#include "core/Json.h"

#include <algorithm>
#include <cmath>

namespace {
// Disk figures are GiB; the storage formatter takes bytes.
constexpr double kBytesPerGiB = 1073741824.0;
}

QString MeasuredOutcome::deltaText() const
{
    const QString magnitude = cformat(deltaDecimals(metric) == 1 ? "%.1f" : "%.0f", std::fabs(delta));
    const QString sign = delta >= 0 ? QStringLiteral("+") : QStringLiteral("\u2212");
    return sign + magnitude + QLatin1Char(' ') + unitWord(metric);
}

QString MeasuredOutcome::beforeAfterText(const AppSettings& settings) const
{
    switch (metric) {
    case OutcomeMetric::memFreedMB:
        return cformat("%.1fGB - %.1fGB = +%.1fGB free", before, after, std::max(before - after, 0.0));
    case OutcomeMetric::memPressureDrop:
        return cformat("%.0f%% \u2192 %.0f%% = -%.0f pts pressure", before, after,
                                 std::max(before - after, 0.0));
    case OutcomeMetric::cpuDrop:
        return cformat("%.0f%% \u2192 %.0f%% = -%.0f pts CPU", before, after, std::max(before - after, 0.0));
    case OutcomeMetric::tempDropC: {
        const bool fahrenheit = settings.temperatureUnitFahrenheit();
        double drop = std::max(before - after, 0.0);
        if (fahrenheit) drop = drop * 9.0 / 5.0;
        return settings.formatTemperature(before, true) + QStringLiteral(" \u2192 ") +
               settings.formatTemperature(after, true) + QStringLiteral(" = ") + cformat("-%.1f", drop) +
               (fahrenheit ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C"));
    }
    case OutcomeMetric::diskFreedGB:
        return settings.formatStorageSize(before * kBytesPerGiB, true) + QStringLiteral(" \u2192 ") +
               settings.formatStorageSize(after * kBytesPerGiB, true) + QStringLiteral(" = +") +
               settings.formatStorageSize(std::max(after - before, 0.0) * kBytesPerGiB, true) +
               QStringLiteral(" free");
    }
    return {};
}

QJsonObject MeasuredOutcome::toJson() const
{
    return QJsonObject{
        {QStringLiteral("metric"), rawValue(metric)},
        {QStringLiteral("epitopeID"), epitopeID},
        {QStringLiteral("delta"), delta},
        {QStringLiteral("before"), before},
        {QStringLiteral("after"), after},
        {QStringLiteral("measuredAt"), Json::dateValue(measuredAt)},
    };
}

std::optional<MeasuredOutcome> MeasuredOutcome::fromJson(const QJsonObject& object)
{
    Json::Decoder d(object);
    MeasuredOutcome o;
    const auto metric = outcomeMetricFromRaw(d.string(QStringLiteral("metric")));
    o.epitopeID = d.string(QStringLiteral("epitopeID"));
    o.delta = d.number(QStringLiteral("delta"));
    o.before = d.number(QStringLiteral("before"));
    o.after = d.number(QStringLiteral("after"));
    o.measuredAt = d.date(QStringLiteral("measuredAt"));
    if (!d.ok() || !metric) return std::nullopt;
    o.metric = *metric;
    return o;
}
