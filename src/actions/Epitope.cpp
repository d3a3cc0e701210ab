#include "actions/Epitope.h"

#include "core/Json.h"

#include <QJsonArray>
#include <algorithm>

QString rawValue(EpitopeState state)
{
    switch (state) {
    case EpitopeState::learning: return QStringLiteral("learning");
    case EpitopeState::reinforced: return QStringLiteral("reinforced");
    case EpitopeState::decaying: return QStringLiteral("decaying");
    case EpitopeState::retired: return QStringLiteral("retired");
    }
    return {};
}

std::optional<EpitopeState> epitopeStateFromRaw(const QString& raw)
{
    for (EpitopeState s : {EpitopeState::learning, EpitopeState::reinforced, EpitopeState::decaying, EpitopeState::retired})
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

namespace {
template <typename T>
void keepLast(QList<T>& list, int n)
{
    if (list.size() > n) list.remove(0, list.size() - n);
}
}  // namespace

void Epitope::recordOutcome(bool success, double delta, const QDateTime& now)
{
    outcomes.append(success);
    deltas.append(delta);
    keepLast(outcomes, historyLimit);
    keepLast(deltas, historyLimit);
    successRate = 0.7 * successRate + (success ? 0.3 : 0.0);
    lastMeasuredAt = now;
    reevaluateState();
}

void Epitope::recordNullOutcome(const QDateTime& now)
{
    outcomes.append(false);
    keepLast(outcomes, historyLimit);
    successRate = 0.7 * successRate;
    lastMeasuredAt = now;
    reevaluateState();
}

void Epitope::recordManualSuccess(double delta, const QDateTime& now)
{
    if (state != EpitopeState::retired) {
        recordOutcome(true, delta, now);
        return;
    }
    outcomes.append(true);
    deltas.append(delta);
    const qsizetype n = outcomes.size();
    if (n >= 2 && outcomes[n - 1] && outcomes[n - 2]) {
        state = EpitopeState::learning;
        successRate = initialRate;
    }
    lastMeasuredAt = now;
}

void Epitope::reevaluateState()
{
    if (state == EpitopeState::retired) return;
    const qsizetype n = outcomes.size();
    if (n >= 6) {
        if (successRate < 0.15) {
            state = EpitopeState::retired;
            return;
        }
        if (successRate >= 0.8) {
            state = EpitopeState::reinforced;
            return;
        }
    }
    const qsizetype window = std::min<qsizetype>(n, 5);
    const auto failures = std::count(outcomes.end() - window, outcomes.end(), false);
    state = (n < 5 || failures < 3) ? EpitopeState::learning : EpitopeState::decaying;
}

QJsonObject Epitope::toJson() const
{
    QJsonArray outcomeArray, deltaArray;
    for (bool b : outcomes) outcomeArray.append(b);
    for (double d : deltas) deltaArray.append(d);
    QJsonObject o{
        {QStringLiteral("id"), id},
        {QStringLiteral("displayName"), displayName},
        {QStringLiteral("metric"), rawValue(metric)},
        {QStringLiteral("outcomes"), outcomeArray},
        {QStringLiteral("deltas"), deltaArray},
        {QStringLiteral("successRate"), successRate},
        {QStringLiteral("state"), rawValue(state)},
    };
    if (lastMeasuredAt) o.insert(QStringLiteral("lastMeasuredAt"), Json::dateValue(*lastMeasuredAt));
    return o;
}

std::optional<Epitope> Epitope::fromJson(const QJsonObject& object)
{
    Json::Decoder d(object);
    Epitope e;
    e.id = d.string(QStringLiteral("id"));
    e.displayName = d.string(QStringLiteral("displayName"));
    const auto metric = outcomeMetricFromRaw(d.string(QStringLiteral("metric")));
    const QJsonArray outcomeArray = d.array(QStringLiteral("outcomes"));
    const QJsonArray deltaArray = d.array(QStringLiteral("deltas"));
    e.successRate = d.number(QStringLiteral("successRate"));
    e.lastMeasuredAt = d.optDate(QStringLiteral("lastMeasuredAt"));
    const auto state = epitopeStateFromRaw(d.string(QStringLiteral("state")));
    if (!d.ok() || !metric || !state) return std::nullopt;
    for (const QJsonValue& v : outcomeArray) {
        if (!v.isBool()) return std::nullopt;
        e.outcomes.append(v.toBool());
    }
    for (const QJsonValue& v : deltaArray) {
        if (!v.isDouble()) return std::nullopt;
        e.deltas.append(v.toDouble());
    }
    e.metric = *metric;
    e.state = *state;
    return e;
}
