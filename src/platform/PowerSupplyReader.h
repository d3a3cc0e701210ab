#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The machine's power sources in the shape the battery monitor reads them. Every value is
// optional: the monitor applies its own fallback for each one that could not be read.
struct PowerSourceDescription {
    std::optional<int64_t> currentCapacity;  // with maxCapacity: the charge level's fraction
    std::optional<int64_t> maxCapacity;
    std::optional<bool> isCharging;
    std::optional<bool> isCharged;
    std::optional<QString> powerSourceState;  // "AC Power" or "Battery Power"
    std::optional<int64_t> timeToEmpty;       // minutes
    std::optional<int64_t> timeToFullCharge;  // minutes
};

// The battery's own figures, in the units its controller reports.
struct SmartBatteryEntry {
    std::optional<int64_t> cycleCount;
    std::optional<int64_t> designCapacity;  // mAh (or mWh for energy-reporting batteries)
    std::optional<int64_t> maxCapacity;     // full-charge capacity, same unit as designCapacity
    std::optional<int64_t> temperature;     // hundredths of a degree Celsius
    std::optional<int64_t> voltage;         // millivolts
    std::optional<int64_t> amperage;        // milliamperes, negative while discharging
};

struct PowerSupplyReading {
    std::optional<PowerSourceDescription> source;  // none: no battery
    std::optional<SmartBatteryEntry> battery;      // none: no battery entry
};

class PowerSupplyReader {
public:
    virtual ~PowerSupplyReader() = default;
    // Any thread; never blocks for long.
    virtual PowerSupplyReading read() const = 0;
};
