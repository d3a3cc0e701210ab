#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonDocument>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>
#include <optional>

// What the learning engine keeps between samples. The first six are saved in the AI folder;
// the rest live in memory only.

// Learned statistics of one process name.
struct ProcessBaseline {
    QString processName;
    double avgCPU = 0;
    double avgMemoryMB = 0;
    double maxCPU = 0;
    double maxMemoryMB = 0;
    double stdDevCPU = 0;
    int64_t sampleCount = 0;
    QMap<int, double> hourlyAvgCPU;  // hour of day -> averaged CPU in that hour

    friend bool operator==(const ProcessBaseline&, const ProcessBaseline&) = default;
};

// One whole-machine observation.
struct SystemObservation {
    QDateTime timestamp;
    double cpuUsage = 0;
    double memoryPressure = 0;
    double diskPercent = 0;

    friend bool operator==(const SystemObservation&, const SystemObservation&) = default;
};

struct DiskHistoryEntry {
    QDateTime timestamp;
    uint64_t usedBytes = 0;

    friend bool operator==(const DiskHistoryEntry&, const DiskHistoryEntry&) = default;
};

struct MemoryPressureEntry {
    QDateTime timestamp;
    double pressure = 0;

    friend bool operator==(const MemoryPressureEntry&, const MemoryPressureEntry&) = default;
};

struct ThrottleStats {
    int64_t attempts = 0;
    int64_t successes = 0;

    friend bool operator==(const ThrottleStats&, const ThrottleStats&) = default;
};

struct MemoryObservation {
    QDateTime timestamp;
    double memoryMB = 0;
};

struct PendingThrottleAudit {
    QString processName;
    double preThrottleCPU = 0;
    QDateTime scheduledAt;
};

struct ThermalReading {
    double t = 0;     // seconds since 1970-01-01 UTC
    double temp = 0;  // °C
};

using BaselineMap = QHash<QString, ProcessBaseline>;
using HourlySnapshots = QMap<int, QList<SystemObservation>>;
using ThrottleStatsMap = QHash<QString, ThrottleStats>;

// The JSON forms of the five history files, written compact. Encoding writes the text
// directly (the saves run every few minutes over a few thousand records); decoding is strict:
// a missing field, a wrong type or a value out of range makes the whole file unreadable
// (nullopt).
namespace AIRecordsJson {

QByteArray encodeBaselines(const BaselineMap& baselines);
std::optional<BaselineMap> decodeBaselines(const QJsonDocument& document);

QByteArray encodeDiskHistory(const QList<DiskHistoryEntry>& entries);
std::optional<QList<DiskHistoryEntry>> decodeDiskHistory(const QJsonDocument& document);

QByteArray encodeMemoryHistory(const QList<MemoryPressureEntry>& entries);
std::optional<QList<MemoryPressureEntry>> decodeMemoryHistory(const QJsonDocument& document);

QByteArray encodeThrottleStats(const ThrottleStatsMap& stats);
std::optional<ThrottleStatsMap> decodeThrottleStats(const QJsonDocument& document);

// Flattened into records of (hour, observation).
QByteArray encodeHourlySnapshots(const HourlySnapshots& hourly);
std::optional<HourlySnapshots> decodeHourlySnapshots(const QJsonDocument& document);

}  // namespace AIRecordsJson
