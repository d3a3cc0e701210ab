#pragma once

#include <optional>

// The CPU temperature (and its throttle point) published by the temperature monitor (main thread).
class TemperatureSource {
public:
    virtual ~TemperatureSource() = default;
    virtual std::optional<double> cpuTempC() const = 0;
    // Where the processor starts to be held back, when the firmware says.
    virtual std::optional<double> throttleTripC() const { return std::nullopt; }
};
