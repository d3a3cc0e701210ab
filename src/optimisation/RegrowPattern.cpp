#include "optimisation/RegrowPattern.h"

#include "core/Dates.h"
#include "core/Json.h"

#include <algorithm>
#include <numeric>

RegrowPattern RegrowPattern::fresh(const QString& category)
{
    RegrowPattern p;
    p.category = category;
    p.displayName = category;
    return p;
}

double RegrowPattern::averageRegrowRate() const
{
    if (regrowRateSamples.isEmpty()) return 0;
    return std::accumulate(regrowRateSamples.begin(), regrowRateSamples.end(), 0.0) / regrowRateSamples.size();
}

double RegrowPattern::currentRegrowRate() const
{
    if (!lastClearedAt || !lastObservedAt || !(*lastObservedAt > *lastClearedAt)) return 0;
    const double hours = Dates::secondsBetween(*lastClearedAt, *lastObservedAt) / 3600.0;
    return hours > 0.01 ? double(lastSizeBytes) / hours : 0;
}

double RegrowPattern::regrowRate() const { return std::max(averageRegrowRate(), currentRegrowRate()); }

double RegrowPattern::confidence() const
{
    const double rate = regrowRate();
    if (rate <= 0) return 0;
    return std::min(rate / fullConfidenceBytesPerHour, 1.0);
}

void RegrowPattern::addRegrowRateSample(double bytesPerHour)
{
    regrowRateSamples.append(bytesPerHour);
    while (regrowRateSamples.size() > sampleLimit) regrowRateSamples.removeFirst();
}

QJsonObject RegrowPattern::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("category"), category);
    o.insert(QStringLiteral("displayName"), displayName);
    o.insert(QStringLiteral("cleanCount"), qint64(cleanCount));
    o.insert(QStringLiteral("totalReclaimedBytes"), qint64(totalReclaimedBytes));
    o.insert(QStringLiteral("lastSizeBytes"), qint64(lastSizeBytes));
    if (lastObservedAt) o.insert(QStringLiteral("lastObservedAt"), Json::dateValue(*lastObservedAt));
    if (lastClearedAt) o.insert(QStringLiteral("lastClearedAt"), Json::dateValue(*lastClearedAt));
    QJsonArray samples;
    for (double s : regrowRateSamples) samples.append(s);
    o.insert(QStringLiteral("regrowRateSamples"), samples);
    return o;
}

std::optional<RegrowPattern> RegrowPattern::fromJson(const QJsonObject& object)
{
    Json::Decoder d(object);
    RegrowPattern p;
    p.category = d.string(QStringLiteral("category"));
    p.displayName = d.string(QStringLiteral("displayName"));
    const qint64 count = d.integer(QStringLiteral("cleanCount"));
    const qint64 total = d.integer(QStringLiteral("totalReclaimedBytes"));
    const qint64 size = d.integer(QStringLiteral("lastSizeBytes"));
    p.lastObservedAt = d.optDate(QStringLiteral("lastObservedAt"));
    p.lastClearedAt = d.optDate(QStringLiteral("lastClearedAt"));
    const QJsonArray samples = d.array(QStringLiteral("regrowRateSamples"));
    if (!d.ok() || count < 0 || total < 0 || size < 0) return std::nullopt;
    p.cleanCount = count;
    p.totalReclaimedBytes = uint64_t(total);
    p.lastSizeBytes = uint64_t(size);
    for (const QJsonValue& v : samples) {
        if (!v.isDouble()) return std::nullopt;
        p.regrowRateSamples.append(v.toDouble());
    }
    return p;
}

QJsonArray RegrowPattern::toJsonArray(const QList<RegrowPattern>& patterns)
{
    QJsonArray array;
    for (const RegrowPattern& p : patterns) array.append(p.toJson());
    return array;
}

std::optional<QList<RegrowPattern>> RegrowPattern::fromJsonArray(const QJsonArray& array)
{
    QList<RegrowPattern> patterns;
    for (const QJsonValue& v : array) {
        if (!v.isObject()) return std::nullopt;
        std::optional<RegrowPattern> p = fromJson(v.toObject());
        if (!p) return std::nullopt;
        patterns.append(*p);
    }
    return patterns;
}
