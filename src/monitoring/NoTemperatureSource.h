#pragma once

#include "monitoring/TemperatureSource.h"

// Stands in until the temperature monitor lands: no reading, so the thermal zones decide.
class NoTemperatureSource final : public TemperatureSource {
public:
    std::optional<double> cpuTempC() const override { return std::nullopt; }
};
