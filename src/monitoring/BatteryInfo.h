#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

// The battery's state at one reading. The initial values are also the "no battery" reading.
struct BatteryInfo {
    int64_t level = -1;  // percent; -1 when unknown
    bool isCharging = false;
    bool isFullyCharged = false;
    int64_t cycleCount = 0;
    double healthPercent = 100.0;  // full-charge capacity against design capacity, at most 100
    double temperature = 0;        // °C
    std::optional<int64_t> timeRemaining;  // minutes to full (charging) or to empty
    QString powerSource = QStringLiteral("Unknown");  // "AC Power", "Battery" or "Unknown"
    int64_t maxCapacity = 0;
    int64_t designCapacity = 0;
    int64_t currentCapacity = 0;
    double voltage = 0;   // V
    double amperage = 0;  // A, negative while discharging

    friend bool operator==(const BatteryInfo&, const BatteryInfo&) = default;
};

// One point of the battery chart.
struct BatteryDataPoint {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    int64_t level = 0;
    bool isCharging = false;
};
