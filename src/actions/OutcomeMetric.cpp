#include "actions/OutcomeMetric.h"

QString rawValue(OutcomeMetric metric)
{
    switch (metric) {
    case OutcomeMetric::memFreedMB: return QStringLiteral("memFreedMB");
    case OutcomeMetric::memPressureDrop: return QStringLiteral("memPressureDrop");
    case OutcomeMetric::tempDropC: return QStringLiteral("tempDropC");
    case OutcomeMetric::diskFreedGB: return QStringLiteral("diskFreedGB");
    case OutcomeMetric::cpuDrop: return QStringLiteral("cpuDrop");
    }
    return {};
}

std::optional<OutcomeMetric> outcomeMetricFromRaw(const QString& raw)
{
    for (OutcomeMetric m : allOutcomeMetrics)
        if (rawValue(m) == raw) return m;
    return std::nullopt;
}

double successThreshold(OutcomeMetric metric)
{
    switch (metric) {
    case OutcomeMetric::memFreedMB: return 150;
    case OutcomeMetric::memPressureDrop: return 8;
    case OutcomeMetric::tempDropC: return 1.5;
    case OutcomeMetric::diskFreedGB: return 0.25;
    case OutcomeMetric::cpuDrop: return 5;
    }
    return 0;
}

std::chrono::nanoseconds settleDelay(OutcomeMetric metric)
{
    using std::chrono::nanoseconds;
    switch (metric) {
    case OutcomeMetric::memFreedMB: return nanoseconds(1'200'000'000);
    case OutcomeMetric::memPressureDrop: return nanoseconds(1'200'000'000);
    case OutcomeMetric::tempDropC: return nanoseconds(2'500'000'000);
    case OutcomeMetric::diskFreedGB: return nanoseconds(800'000'000);
    case OutcomeMetric::cpuDrop: return nanoseconds(1'500'000'000);
    }
    return nanoseconds(0);
}

QString unitWord(OutcomeMetric metric)
{
    switch (metric) {
    case OutcomeMetric::memFreedMB: return QStringLiteral("MB");
    case OutcomeMetric::memPressureDrop: return QStringLiteral("pts");
    case OutcomeMetric::tempDropC: return QStringLiteral("\u00B0C");
    case OutcomeMetric::diskFreedGB: return QStringLiteral("GB");
    case OutcomeMetric::cpuDrop: return QStringLiteral("%");
    }
    return {};
}

int deltaDecimals(OutcomeMetric metric)
{
    return metric == OutcomeMetric::tempDropC || metric == OutcomeMetric::diskFreedGB ? 1 : 0;
}
