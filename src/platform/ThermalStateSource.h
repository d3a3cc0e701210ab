#pragma once

// The machine's thermal pressure: 0 nominal, 1 fair, 2 serious, 3 critical.
class ThermalStateSource {
public:
    virtual ~ThermalStateSource() = default;
    virtual int thermalState() = 0;
};
