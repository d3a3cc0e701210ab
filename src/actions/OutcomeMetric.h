#pragma once

#include <QString>
#include <array>
#include <chrono>
#include <optional>

// What a measured action promises to improve. Every figure below is per metric: the unit of
// the delta, the delta that counts as a success, and how long the machine is given to settle
// before the "after" reading.
enum class OutcomeMetric { memFreedMB, memPressureDrop, tempDropC, diskFreedGB, cpuDrop };

inline constexpr std::array<OutcomeMetric, 5> allOutcomeMetrics = {
    OutcomeMetric::memFreedMB, OutcomeMetric::memPressureDrop, OutcomeMetric::tempDropC,
    OutcomeMetric::diskFreedGB, OutcomeMetric::cpuDrop};

QString rawValue(OutcomeMetric metric);
// Any other text is not a metric.
std::optional<OutcomeMetric> outcomeMetricFromRaw(const QString& raw);

// A delta greater than or equal to this is a success.
double successThreshold(OutcomeMetric metric);
std::chrono::nanoseconds settleDelay(OutcomeMetric metric);
// "MB", "pts", "°C", "GB", "%".
QString unitWord(OutcomeMetric metric);
// Decimals of the delta text: 1 for temperature and disk, 0 otherwise.
int deltaDecimals(OutcomeMetric metric);
