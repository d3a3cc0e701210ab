#pragma once

#include "actions/MeasuredOutcome.h"

#include <QString>
#include <optional>

// What a measurement answers: an outcome, or the reason nothing could be measured.
class SampleResult {
public:
    static SampleResult value(MeasuredOutcome outcome) { return SampleResult(std::move(outcome), {}); }
    static SampleResult null(QString reason) { return SampleResult(std::nullopt, std::move(reason)); }

    // The one reason the measuring harness gives.
    static QString noSensorReason() { return QStringLiteral("no SMC temperature sensor"); }

    bool isValue() const { return m_outcome.has_value(); }
    bool isNull() const { return !m_outcome.has_value(); }
    // Only when isValue().
    const MeasuredOutcome& outcome() const { return *m_outcome; }
    // Empty for a value.
    const QString& reason() const { return m_reason; }

    friend bool operator==(const SampleResult&, const SampleResult&) = default;

private:
    SampleResult(std::optional<MeasuredOutcome> outcome, QString reason)
        : m_outcome(std::move(outcome)), m_reason(std::move(reason)) {}
    std::optional<MeasuredOutcome> m_outcome;
    QString m_reason;
};
