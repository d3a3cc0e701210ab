#include "actions/EpitopeLibrary.h"

#include "core/Clock.h"
#include "core/Json.h"
#include "core/Paths.h"
#include "core/WriteFailureReporter.h"

#include <QDir>
#include <QJsonArray>
#include <algorithm>

EpitopeLibrary::EpitopeLibrary(const Clock& clock, QString directory, QObject* parent)
    : QObject(parent), m_clock(clock), m_directory(directory.isEmpty() ? Paths::aiDir() : std::move(directory))
{
    loadEpitopes();
}

QString EpitopeLibrary::filePath() const { return m_directory + QLatin1Char('/') + fileName(); }

std::optional<Epitope> EpitopeLibrary::epitope(const QString& id) const
{
    auto it = m_epitopes.constFind(id);
    if (it == m_epitopes.constEnd()) return std::nullopt;
    return *it;
}

QList<Epitope> EpitopeLibrary::sortedEpitopes() const
{
    QList<Epitope> list = m_epitopes.values();
    std::stable_sort(list.begin(), list.end(),
                     [](const Epitope& a, const Epitope& b) { return a.successRate > b.successRate; });
    return list;
}

void EpitopeLibrary::recordMeasuredAction(const QString& id, const QString& displayName, OutcomeMetric metric,
                                          const SampleResult& result)
{
    record(Origin::automatic, id, displayName, metric, result);
}

void EpitopeLibrary::recordManualAction(const QString& id, const QString& displayName, OutcomeMetric metric,
                                        const SampleResult& result)
{
    record(Origin::manual, id, displayName, metric, result);
}

void EpitopeLibrary::record(Origin origin, const QString& id, const QString& displayName, OutcomeMetric metric,
                            const SampleResult& result)
{
    Epitope e = m_epitopes.value(id);
    if (!m_epitopes.contains(id)) e.id = id;
    e.displayName = displayName;
    e.metric = metric;
    const QDateTime now = m_clock.now();
    if (result.isValue()) {
        const double delta = result.outcome().delta;
        // The threshold is the measured outcome's own metric.
        const bool success = delta >= successThreshold(result.outcome().metric);
        if (origin == Origin::manual && success) {
            e.recordManualSuccess(delta, now);
        } else {
            e.recordOutcome(success, delta, now);
        }
        setHeroDelta(success ? std::optional<MeasuredOutcome>(result.outcome()) : std::nullopt);
    } else {
        e.recordNullOutcome(now);
        setHeroDelta(std::nullopt);
    }
    m_epitopes.insert(id, e);
    Q_EMIT epitopesChanged();
    saveEpitopes();
}

void EpitopeLibrary::clearHeroDelta() { setHeroDelta(std::nullopt); }

void EpitopeLibrary::setHeroDelta(std::optional<MeasuredOutcome> hero)
{
    if (hero == m_heroDelta) return;
    m_heroDelta = std::move(hero);
    Q_EMIT heroDeltaChanged();
}

void EpitopeLibrary::loadEpitopes()
{
    QDir().mkpath(m_directory);  // a failure shows up later as a failed save
    const auto doc = Json::readFile(filePath());
    if (!doc || !doc->isArray()) return;
    QMap<QString, Epitope> loaded;
    for (const QJsonValue& v : doc->array()) {
        if (!v.isObject()) return;
        auto e = Epitope::fromJson(v.toObject());
        // One bad entry makes the whole file unreadable, as a strict decoder would.
        if (!e) return;
        if (!loaded.contains(e->id)) loaded.insert(e->id, *e);
    }
    m_epitopes = std::move(loaded);
    if (!m_epitopes.isEmpty()) Q_EMIT epitopesChanged();
}

void EpitopeLibrary::saveEpitopes() const
{
    QJsonArray array;
    for (const Epitope& e : m_epitopes) array.append(e.toJson());
    // Written beside the file first, so a crash mid-write leaves the previous file whole.
    // A failed save keeps the previous file; the next change tries again.
    WriteFailureReporter::check(filePath(), Json::writeViaTmpSibling(filePath(), QJsonDocument(array)));
}
