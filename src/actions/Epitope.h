#pragma once

#include "actions/OutcomeMetric.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

enum class EpitopeState { learning, reinforced, decaying, retired };

QString rawValue(EpitopeState state);
std::optional<EpitopeState> epitopeStateFromRaw(const QString& raw);

// What the application has learned about one kind of action: its recent measured outcomes and
// an exponentially weighted success rate, which decide whether the kind is still worth running.
struct Epitope {
    static constexpr int historyLimit = 20;
    static constexpr double initialRate = 0.5;

    QString id;
    QString displayName;
    OutcomeMetric metric = OutcomeMetric::memFreedMB;
    QList<bool> outcomes;  // oldest first
    QList<double> deltas;  // oldest first; a null measurement adds an outcome but no delta
    double successRate = initialRate;
    std::optional<QDateTime> lastMeasuredAt;
    EpitopeState state = EpitopeState::learning;

    void recordOutcome(bool success, double delta, const QDateTime& now);
    void recordNullOutcome(const QDateTime& now);
    // A success the user brought about; the only way back from retired.
    void recordManualSuccess(double delta, const QDateTime& now);
    void reevaluateState();

    QJsonObject toJson() const;
    // nullopt when a key is missing or of the wrong type, or a raw value is unknown.
    static std::optional<Epitope> fromJson(const QJsonObject& object);

    friend bool operator==(const Epitope&, const Epitope&) = default;
};
