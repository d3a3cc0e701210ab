#include "optimisation/AIRecords.h"

#include "core/Json.h"

#include <QJsonArray>
#include <QJsonObject>

namespace AIRecordsJson {

namespace {

// Hours are map keys in memory and in the files; anything outside a day is damage.
bool validHour(qint64 hour) { return hour >= 0 && hour <= 23; }

std::optional<int> hourFromKey(const QString& key)
{
    bool ok = false;
    const int hour = key.toInt(&ok);
    if (!ok || !validHour(hour) || QString::number(hour) != key) return std::nullopt;
    return hour;
}

QJsonObject encodeObservation(const SystemObservation& o)
{
    return QJsonObject{{QStringLiteral("timestamp"), Json::dateValue(o.timestamp)},
                       {QStringLiteral("cpuUsage"), o.cpuUsage},
                       {QStringLiteral("memoryPressure"), o.memoryPressure},
                       {QStringLiteral("diskPercent"), o.diskPercent}};
}

std::optional<SystemObservation> decodeObservation(const QJsonValue& value)
{
    if (!value.isObject()) return std::nullopt;
    Json::Decoder d(value.toObject());
    SystemObservation o{.timestamp = d.date(QStringLiteral("timestamp")),
                        .cpuUsage = d.number(QStringLiteral("cpuUsage")),
                        .memoryPressure = d.number(QStringLiteral("memoryPressure")),
                        .diskPercent = d.number(QStringLiteral("diskPercent"))};
    if (!d.ok()) return std::nullopt;
    return o;
}

}  // namespace

QJsonDocument encodeBaselines(const BaselineMap& baselines)
{
    QJsonObject root;
    for (auto it = baselines.cbegin(); it != baselines.cend(); ++it) {
        const ProcessBaseline& b = it.value();
        QJsonObject hourly;
        for (auto h = b.hourlyAvgCPU.cbegin(); h != b.hourlyAvgCPU.cend(); ++h) hourly.insert(QString::number(h.key()), h.value());
        root.insert(it.key(), QJsonObject{{QStringLiteral("processName"), b.processName},
                                          {QStringLiteral("avgCPU"), b.avgCPU},
                                          {QStringLiteral("avgMemoryMB"), b.avgMemoryMB},
                                          {QStringLiteral("maxCPU"), b.maxCPU},
                                          {QStringLiteral("maxMemoryMB"), b.maxMemoryMB},
                                          {QStringLiteral("stdDevCPU"), b.stdDevCPU},
                                          {QStringLiteral("sampleCount"), qint64(b.sampleCount)},
                                          {QStringLiteral("hourlyAvgCPU"), hourly}});
    }
    return QJsonDocument(root);
}

std::optional<BaselineMap> decodeBaselines(const QJsonDocument& document)
{
    if (!document.isObject()) return std::nullopt;
    const QJsonObject root = document.object();
    BaselineMap result;
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        if (!it->isObject()) return std::nullopt;
        Json::Decoder d(it->toObject());
        ProcessBaseline b{.processName = d.string(QStringLiteral("processName")),
                          .avgCPU = d.number(QStringLiteral("avgCPU")),
                          .avgMemoryMB = d.number(QStringLiteral("avgMemoryMB")),
                          .maxCPU = d.number(QStringLiteral("maxCPU")),
                          .maxMemoryMB = d.number(QStringLiteral("maxMemoryMB")),
                          .stdDevCPU = d.number(QStringLiteral("stdDevCPU")),
                          .sampleCount = d.integer(QStringLiteral("sampleCount"))};
        const QJsonObject hourly = d.object(QStringLiteral("hourlyAvgCPU"));
        if (!d.ok() || b.sampleCount < 0 || b.stdDevCPU < 0) return std::nullopt;
        for (auto h = hourly.constBegin(); h != hourly.constEnd(); ++h) {
            const auto hour = hourFromKey(h.key());
            if (!hour || !h->isDouble()) return std::nullopt;
            b.hourlyAvgCPU.insert(*hour, h->toDouble());
        }
        result.insert(it.key(), b);
    }
    return result;
}

QJsonDocument encodeDiskHistory(const QList<DiskHistoryEntry>& entries)
{
    QJsonArray array;
    for (const DiskHistoryEntry& e : entries) {
        array.append(QJsonObject{{QStringLiteral("timestamp"), Json::dateValue(e.timestamp)},
                                 {QStringLiteral("usedBytes"), qint64(e.usedBytes)}});
    }
    return QJsonDocument(array);
}

std::optional<QList<DiskHistoryEntry>> decodeDiskHistory(const QJsonDocument& document)
{
    if (!document.isArray()) return std::nullopt;
    QList<DiskHistoryEntry> result;
    for (const QJsonValue& v : document.array()) {
        if (!v.isObject()) return std::nullopt;
        Json::Decoder d(v.toObject());
        const QDateTime t = d.date(QStringLiteral("timestamp"));
        const qint64 used = d.integer(QStringLiteral("usedBytes"));
        if (!d.ok() || used < 0) return std::nullopt;
        result.append(DiskHistoryEntry{t, uint64_t(used)});
    }
    return result;
}

QJsonDocument encodeMemoryHistory(const QList<MemoryPressureEntry>& entries)
{
    QJsonArray array;
    for (const MemoryPressureEntry& e : entries) {
        array.append(QJsonObject{{QStringLiteral("timestamp"), Json::dateValue(e.timestamp)},
                                 {QStringLiteral("pressure"), e.pressure}});
    }
    return QJsonDocument(array);
}

std::optional<QList<MemoryPressureEntry>> decodeMemoryHistory(const QJsonDocument& document)
{
    if (!document.isArray()) return std::nullopt;
    QList<MemoryPressureEntry> result;
    for (const QJsonValue& v : document.array()) {
        if (!v.isObject()) return std::nullopt;
        Json::Decoder d(v.toObject());
        MemoryPressureEntry e{d.date(QStringLiteral("timestamp")), d.number(QStringLiteral("pressure"))};
        if (!d.ok()) return std::nullopt;
        result.append(e);
    }
    return result;
}

QJsonDocument encodeThrottleStats(const ThrottleStatsMap& stats)
{
    QJsonObject root;
    for (auto it = stats.cbegin(); it != stats.cend(); ++it) {
        root.insert(it.key(), QJsonObject{{QStringLiteral("attempts"), qint64(it->attempts)},
                                          {QStringLiteral("successes"), qint64(it->successes)}});
    }
    return QJsonDocument(root);
}

std::optional<ThrottleStatsMap> decodeThrottleStats(const QJsonDocument& document)
{
    if (!document.isObject()) return std::nullopt;
    const QJsonObject root = document.object();
    ThrottleStatsMap result;
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        if (!it->isObject()) return std::nullopt;
        Json::Decoder d(it->toObject());
        ThrottleStats s{d.integer(QStringLiteral("attempts")), d.integer(QStringLiteral("successes"))};
        if (!d.ok() || s.attempts < 0 || s.successes < 0) return std::nullopt;
        result.insert(it.key(), s);
    }
    return result;
}

QJsonDocument encodeHourlySnapshots(const HourlySnapshots& hourly)
{
    QJsonArray array;
    for (auto it = hourly.cbegin(); it != hourly.cend(); ++it) {
        for (const SystemObservation& o : it.value()) {
            array.append(QJsonObject{{QStringLiteral("hour"), it.key()}, {QStringLiteral("observation"), encodeObservation(o)}});
        }
    }
    return QJsonDocument(array);
}

std::optional<HourlySnapshots> decodeHourlySnapshots(const QJsonDocument& document)
{
    if (!document.isArray()) return std::nullopt;
    HourlySnapshots result;
    for (const QJsonValue& v : document.array()) {
        if (!v.isObject()) return std::nullopt;
        Json::Decoder d(v.toObject());
        const qint64 hour = d.integer(QStringLiteral("hour"));
        if (!d.ok() || !validHour(hour)) return std::nullopt;
        const auto observation = decodeObservation(v.toObject().value(QStringLiteral("observation")));
        if (!observation) return std::nullopt;
        result[int(hour)].append(*observation);
    }
    return result;
}

}  // namespace AIRecordsJson
