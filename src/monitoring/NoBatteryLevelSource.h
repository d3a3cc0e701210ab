#pragma once

#include "monitoring/BatteryLevelSource.h"

// Stands in until the battery monitor lands: no battery.
class NoBatteryLevelSource final : public BatteryLevelSource {
public:
    int batteryLevel() const override { return -1; }
    bool isCharging() const override { return false; }
};
