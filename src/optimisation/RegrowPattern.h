#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// How fast the caches of one cleanup category grow back after they were cleared. Only the
// observed facts are stored; rates and confidence are worked out from them when asked.
struct RegrowPattern {
    static constexpr int sampleLimit = 20;
    // A category that regrows 50 MiB an hour or faster is fully trusted.
    static constexpr double fullConfidenceBytesPerHour = 52'428'800.0;

    QString category;  // CleanupTarget::rawValue of the category; the key
    QString displayName;
    int64_t cleanCount = 0;
    uint64_t totalReclaimedBytes = 0;
    uint64_t lastSizeBytes = 0;
    std::optional<QDateTime> lastObservedAt;
    std::optional<QDateTime> lastClearedAt;
    QList<double> regrowRateSamples;  // bytes per hour, oldest first

    static RegrowPattern fresh(const QString& category);

    double averageRegrowRate() const;
    // Growth since the last clear, from the size seen at the observation after it.
    double currentRegrowRate() const;
    double regrowRate() const;
    double confidence() const;
    // Keeps the newest sampleLimit samples.
    void addRegrowRateSample(double bytesPerHour);

    QJsonObject toJson() const;
    // nullopt when a required key is missing or of the wrong type, or a count is negative.
    static std::optional<RegrowPattern> fromJson(const QJsonObject& object);
    static QJsonArray toJsonArray(const QList<RegrowPattern>& patterns);
    // nullopt unless every element decodes.
    static std::optional<QList<RegrowPattern>> fromJsonArray(const QJsonArray& array);

    friend bool operator==(const RegrowPattern&, const RegrowPattern&) = default;
};
