#pragma once

#include <optional>

// The CPU temperature published by the temperature monitor (main thread).
class TemperatureSource {
public:
    virtual ~TemperatureSource() = default;
    virtual std::optional<double> cpuTempC() const = 0;
};
