#pragma once

#include "actions/OutcomeMetric.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

class AppSettings;

// One measured action: the published value before it, the value after the settle delay, and
// the improvement in the metric's unit (positive is better, negative means it got worse).
struct MeasuredOutcome {
    OutcomeMetric metric = OutcomeMetric::memFreedMB;
    QString epitopeID;
    double delta = 0;
    double before = 0;  // memFreedMB and diskFreedGB in GiB, temperature in °C, otherwise points
    double after = 0;
    QDateTime measuredAt;

    // The delta with sign and unit: "+312 MB", "−0.8 °C" (U+2212 for a negative delta).
    QString deltaText() const;
    // Before, arrow, after and the (never negative) improvement, as the hero card shows it.
    QString beforeAfterText(const AppSettings& settings) const;

    QJsonObject toJson() const;
    // nullopt when a key is missing or of the wrong type, or the metric is unknown.
    static std::optional<MeasuredOutcome> fromJson(const QJsonObject& object);

    friend bool operator==(const MeasuredOutcome&, const MeasuredOutcome&) = default;
};
