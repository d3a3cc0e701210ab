#pragma once

// Battery level (percent, -1 when there is no battery) and whether it charges, as the
// automatic profile choice reads them (main thread).
class BatteryLevelSource {
public:
    virtual ~BatteryLevelSource() = default;
    virtual int batteryLevel() const = 0;
    virtual bool isCharging() const = 0;
};
