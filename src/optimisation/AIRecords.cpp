#include "optimisation/AIRecords.h"

#include "core/Dates.h"
#include "core/Json.h"

#include <QJsonArray>
#include <QJsonObject>
#include <charconv>
#include <cmath>

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


// Compact JSON text, appended piece by piece.
class Writer {
public:
    explicit Writer(qsizetype reserve) { m_out.reserve(reserve); }
    Writer& raw(const char* text)
    {
        m_out.append(text);
        return *this;
    }
    Writer& number(double value)
    {
        // The shortest text that reads back as the same double; JSON has no infinity or NaN.
        if (!std::isfinite(value)) value = 0;
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        m_out.append(buffer, result.ptr - buffer);
        return *this;
    }
    Writer& integer(qint64 value)
    {
        char buffer[24];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        m_out.append(buffer, result.ptr - buffer);
        return *this;
    }
    Writer& date(const QDateTime& time) { return number(Dates::toReferenceSeconds(time)); }
    Writer& string(const QString& text)
    {
        m_out.append('"');
        const QByteArray utf8 = text.toUtf8();
        for (const char c : utf8) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out.append('\\').append(c);
            } else if (u < 0x20) {
                m_out.append(QByteArray("\\u00") + QByteArray::number(u, 16).rightJustified(2, '0'));
            } else {
                m_out.append(c);
            }
        }
        m_out.append('"');
        return *this;
    }
    Writer& key(const char* name)
    {
        m_out.append('"').append(name).append("\":");
        return *this;
    }
    void comma(bool& first)
    {
        if (!first) m_out.append(',');
        first = false;
    }
    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_out;
};

void writeObservation(Writer& w, const SystemObservation& o)
{
    w.raw("{").key("timestamp").date(o.timestamp).raw(",").key("cpuUsage").number(o.cpuUsage);
    w.raw(",").key("memoryPressure").number(o.memoryPressure).raw(",").key("diskPercent").number(o.diskPercent).raw("}");
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

QByteArray encodeBaselines(const BaselineMap& baselines)
{
    Writer w(baselines.size() * 320 + 2);
    w.raw("{");
    bool first = true;
    for (auto it = baselines.cbegin(); it != baselines.cend(); ++it) {
        const ProcessBaseline& b = it.value();
        w.comma(first);
        w.string(it.key()).raw(":{").key("processName").string(b.processName);
        w.raw(",").key("avgCPU").number(b.avgCPU).raw(",").key("avgMemoryMB").number(b.avgMemoryMB);
        w.raw(",").key("maxCPU").number(b.maxCPU).raw(",").key("maxMemoryMB").number(b.maxMemoryMB);
        w.raw(",").key("stdDevCPU").number(b.stdDevCPU).raw(",").key("sampleCount").integer(b.sampleCount);
        w.raw(",").key("hourlyAvgCPU").raw("{");
        bool firstHour = true;
        for (auto h = b.hourlyAvgCPU.cbegin(); h != b.hourlyAvgCPU.cend(); ++h) {
            w.comma(firstHour);
            w.raw("\"").integer(h.key()).raw("\":").number(h.value());
        }
        w.raw("}}");
    }
    w.raw("}");
    return w.take();
}

QByteArray encodeDiskHistory(const QList<DiskHistoryEntry>& entries)
{
    Writer w(entries.size() * 56 + 2);
    w.raw("[");
    bool first = true;
    for (const DiskHistoryEntry& e : entries) {
        w.comma(first);
        w.raw("{").key("timestamp").date(e.timestamp).raw(",").key("usedBytes").integer(qint64(e.usedBytes)).raw("}");
    }
    w.raw("]");
    return w.take();
}

QByteArray encodeMemoryHistory(const QList<MemoryPressureEntry>& entries)
{
    Writer w(entries.size() * 56 + 2);
    w.raw("[");
    bool first = true;
    for (const MemoryPressureEntry& e : entries) {
        w.comma(first);
        w.raw("{").key("timestamp").date(e.timestamp).raw(",").key("pressure").number(e.pressure).raw("}");
    }
    w.raw("]");
    return w.take();
}

QByteArray encodeThrottleStats(const ThrottleStatsMap& stats)
{
    Writer w(stats.size() * 64 + 2);
    w.raw("{");
    bool first = true;
    for (auto it = stats.cbegin(); it != stats.cend(); ++it) {
        w.comma(first);
        w.string(it.key()).raw(":{").key("attempts").integer(it->attempts).raw(",").key("successes").integer(it->successes).raw("}");
    }
    w.raw("}");
    return w.take();
}

QByteArray encodeHourlySnapshots(const HourlySnapshots& hourly)
{
    qsizetype count = 0;
    for (const auto& list : hourly) count += list.size();
    Writer w(count * 120 + 2);
    w.raw("[");
    bool first = true;
    for (auto it = hourly.cbegin(); it != hourly.cend(); ++it) {
        for (const SystemObservation& o : it.value()) {
            w.comma(first);
            w.raw("{").key("hour").integer(it.key()).raw(",").key("observation");
            writeObservation(w, o);
            w.raw("}");
        }
    }
    w.raw("]");
    return w.take();
}

}  // namespace AIRecordsJson
